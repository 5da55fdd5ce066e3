#include "loader/OVTrackSvcForm.h"
#include "tests/service/ScriptedControl.h"
#include "tests/support/TestFolder.h"
#include "tools/prepare-run/ProgramFolder.h"

#include "shared/config/DataLinkFile.h"
#include "shared/tracking/DbStatement.h"
#include "tools/sample-tracking/SampleTracking.h"

#include <QFile>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <vector>

namespace {

class ServiceLoop : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ProgramFolder::prepare(m_folder.path(), m_folder.path() + QStringLiteral("tracking/"));
        m_loader = std::make_unique<TsvcOVTrack>(
            m_folder.path(),
            QStringList{QStringLiteral("svcOVTrack"), QStringLiteral("/logging"), QStringLiteral("15")});
        m_loader->Sleep = [this](int milliseconds) { m_sleeps.push_back(milliseconds); };
    }
    QString log() const { return QString::fromUtf8(m_folder.readFile(QStringLiteral("importtrack.log"))); }

    TestFolder m_folder;
    std::unique_ptr<TsvcOVTrack> m_loader;
    std::vector<int> m_sleeps;
};

TEST_F(ServiceLoop, LostConnectionBacksOffToTenSecondTurnsUntilItReconnects)
{
    const QString dataLink = m_folder.filePath(QStringLiteral("qztrack.udl"));
    ScriptedControl control(40,
                            {{5,
                              [&] {
                                  m_loader->adoConn1.close();
                                  writeDataLinkFile(dataLink, QStringLiteral("Provider=Gone;Data Source=x"));
                              }},
                             {15, [&] { writeDataLinkFile(dataLink, ProgramFolder::sqliteInitString()); }}});
    m_loader->ServiceExecute(control);
    m_loader->ServiceDestroy();

    // Turns 1-10 of a second; the failed check at turn 10 makes turns 11-20 ten seconds long; the
    // check at turn 20 succeeds and brings one-second turns back.
    std::vector<int> expected(10, 1000);
    expected.insert(expected.end(), 10, 10000);
    expected.insert(expected.end(), 20, 1000);
    EXPECT_EQ(m_sleeps, expected);
    const QString text = log();
    EXPECT_EQ(text.count(QStringLiteral("(3): Database Connection Lost. Waiting 100 Seconds.")), 1);
    EXPECT_EQ(text.count(QStringLiteral("(1): Database Connection Reconnected")), 1);
    EXPECT_LT(text.indexOf(QStringLiteral("Connection Lost")), text.indexOf(QStringLiteral("Reconnected")));
}

TEST_F(ServiceLoop, ContinueWithoutTrackingDirectoryIsRefusedAndStaysHalted)
{
    // A connection but no tracking directory.
    QFile::remove(m_folder.filePath(QStringLiteral("qztrack.udl")));
    m_folder.writeFile(QStringLiteral("settings.txt"),
                       "trackingdbconnection=Provider=SQLite;Data Source=tracking.db\r\n");
    ScriptedControl control(25, {{3, [&] { m_loader->ServiceContinue(); }}});
    m_loader->ServiceExecute(control);
    m_loader->ServiceDestroy();

    EXPECT_TRUE(m_loader->ProcessingHalted);
    EXPECT_EQ(m_sleeps, std::vector<int>(25, 1000)) << "halted turns stay one second long";
    const QString text = log();
    EXPECT_TRUE(text.contains(QStringLiteral("(1): Tracking Directory not indicated: PAUSED")));
    EXPECT_TRUE(
        text.contains(QStringLiteral("(1): Cannot resume, Trackingdir or Connection string missing.")));
    EXPECT_FALSE(text.contains(QStringLiteral("Service Resumed.")));
}

TEST_F(ServiceLoop, ContinueClearsTheHaltAndRereadsTheLoggingSettings)
{
    ScriptedControl control(3, {{2, [&] {
                                     m_loader->ProcessingHalted = true;
                                     m_loader->ServiceContinue();
                                 }}});
    m_loader->ServiceExecute(control);
    m_loader->ServiceDestroy();

    EXPECT_FALSE(m_loader->ProcessingHalted);
    const QString text = log();
    const qsizetype resumed = text.indexOf(QStringLiteral("(1): Service Resumed."));
    ASSERT_GE(resumed, 0);
    EXPECT_EQ(text.count(QStringLiteral("(-1): Logging is: True")), 2) << "start-up and continue";
    EXPECT_GT(text.indexOf(QStringLiteral("(1): LoggingLevel is: 15"), resumed), resumed);
    EXPECT_GT(text.indexOf(QStringLiteral("(1): close and open traking log file"), resumed), resumed);
}

// Mended fault: a /ONCE run looked at a file stamped in the future only once, and a file is
// settled by two equal looks 2 s apart, so a scheduler starting one run after another never
// imported it.
TEST_F(ServiceLoop, OnceRunGivesAFileStampedInTheFutureItsSecondLookAfterTwoSeconds)
{
    qint64 clock = 0;
    m_loader->FileLooks.setClock([&clock] { return clock; });
    m_loader->Sleep = [&](int milliseconds) {
        m_sleeps.push_back(milliseconds);
        clock += milliseconds;
    };
    SampleTracking samples;
    const QString path = m_folder.writeFile(
        QStringLiteral("tracking/ahead.qzd"),
        (samples.newMessageLine(SampleTracking::messageId(1)) + QStringLiteral("\r\n")).toUtf8());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(
        file.setFileTime(QDateTime::currentDateTime().addSecs(3600), QFileDevice::FileModificationTime));
    file.close();

    ScriptedControl control(0, {});
    m_loader->ServiceExecuteOnce(control);
    m_loader->ServiceDestroy();

    EXPECT_FALSE(QFile::exists(path));
    DbConnection database(m_folder.path());
    database.open(ProgramFolder::sqliteInitString());
    DbStatement rows(database, QStringLiteral("select count(*) as n from Tracking"));
    EXPECT_EQ(rows.open().integer(0, QStringLiteral("n")), 1);
    EXPECT_EQ(std::count(m_sleeps.begin(), m_sleeps.end(), 2000), 1) << "one second look, no more";
}

} // namespace
