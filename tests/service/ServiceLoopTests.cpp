#include "loader/OVTrackSvcForm.h"
#include "loader/ServiceControl.h"
#include "tests/support/TestFolder.h"
#include "tools/prepare-run/ProgramFolder.h"

#include "shared/DataLinkFile.h"

#include <QFile>

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <vector>

namespace {

// Plays the host's part turn by turn: runs what the script gives for a turn, and asks for the stop
// at the last one.
class ScriptedControl final : public ServiceControl
{
public:
    ScriptedControl(int lastTurn, std::map<int, std::function<void()>> script)
        : m_lastTurn(lastTurn), m_script(std::move(script))
    {}
    void handleRequests() override
    {
        ++m_turn;
        if (const auto step = m_script.find(m_turn); step != m_script.end())
            step->second();
    }
    bool stopRequested() const override { return m_turn >= m_lastTurn; }

private:
    int m_lastTurn;
    int m_turn = 0;
    std::map<int, std::function<void()>> m_script;
};

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

} // namespace
