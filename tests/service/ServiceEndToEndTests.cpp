#include "shared/config/DataLinkFile.h"

#include "tests/service/FileAge.h"
#include "tests/service/LoaderProgram.h"
#include "tests/service/LockedFolder.h"
#include "tools/sample-tracking/SampleTracking.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QThread>

#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <map>
#include <ostream>

namespace {

constexpr int FastTurn = 20; // milliseconds: a pass every 200 ms

// Sample files of `messages` messages in the tracking folder, settled; the content files' bytes by
// message id.
std::map<QString, QByteArray> dropSamples(const LoaderProgram &loader, int messages, int first = 1)
{
    SampleTracking samples;
    samples.writeInto(loader.trackingDir(), messages, first, QStringLiteral("b%1_").arg(first));
    std::map<QString, QByteArray> contents;
    const QDir dir(loader.trackingDir());
    for (const QFileInfo &file : dir.entryInfoList(QDir::Files)) {
        makeSettled(file.filePath());
        if (file.suffix() == QLatin1String("data") || file.suffix() == QLatin1String("qzdata")) {
            QFile in(file.filePath());
            EXPECT_TRUE(in.open(QIODevice::ReadOnly));
            contents[file.completeBaseName()] = in.readAll();
        }
    }
    return contents;
}

QString newMessageFile(LoaderProgram &loader, const QString &name, int number)
{
    SampleTracking samples;
    return loader.dropTracking(
        name, {SampleTracking::headerLine(), samples.newMessageLine(SampleTracking::messageId(number))});
}

bool hasRow(LoaderProgram &loader, int number)
{
    return !loader.field(SampleTracking::messageId(number), QStringLiteral("MsgID")).isNull();
}

TEST(ServiceEndToEnd, ImportsTrackingAndContentFilesAndStopsOnSigterm)
{
    LoaderProgram loader;
    const std::map<QString, QByteArray> contents = dropSamples(loader, 30);
    ASSERT_FALSE(contents.empty());
    loader.start({QStringLiteral("/logging"), QStringLiteral("15")}, FastTurn);

    ASSERT_TRUE(LoaderProgram::waitFor([&] { return loader.waitingFiles() == 0; }))
        << loader.log().toStdString();
    EXPECT_EQ(loader.rowCount(QStringLiteral("Tracking")), 30);
    for (const auto &[msgId, bytes] : contents) {
        const std::vector<QByteArray> stored = loader.content(msgId);
        ASSERT_EQ(stored.size(), 1u) << msgId.toStdString();
        EXPECT_EQ(stored[0], bytes) << msgId.toStdString();
    }
    // The sample's fates reach the delivery columns: undeliverable, emailed, status 99.
    EXPECT_TRUE(loader.field(SampleTracking::messageId(2), QStringLiteral("QZDeliveryTime"))
                    .toString()
                    .startsWith("1900-01-01"));
    EXPECT_TRUE(loader.field(SampleTracking::messageId(3), QStringLiteral("QZDeliveryTime"))
                    .toString()
                    .startsWith("2001-01-01"));
    EXPECT_EQ(loader.field(SampleTracking::messageId(8), QStringLiteral("ReadStatus")).toInt(), 99);
    EXPECT_TRUE(loader.field(SampleTracking::messageId(10), QStringLiteral("QZDeliveryTime")).isNull());

    loader.sendSignal(SIGTERM);
    EXPECT_EQ(loader.waitForExit(20000), 0);
    EXPECT_TRUE(loader.log().contains(QStringLiteral("(2): Service Stopped.")));
}

struct StopCase
{
    const char *level;
    bool stoppedLine;
};

void PrintTo(const StopCase &c, std::ostream *out)
{
    *out << "/logging " << c.level;
}

class StopLine : public ::testing::TestWithParam<StopCase>
{
};

TEST_P(StopLine, IsWrittenOnlyWhenTheLevelIncludesErrors)
{
    LoaderProgram loader;
    loader.start({QStringLiteral("/logging"), QString::fromLatin1(GetParam().level)}, FastTurn);
    // Logging off keeps even the level -1 lines in the buffer: wait for the file, then for the loop.
    ASSERT_TRUE(LoaderProgram::waitFor(
        [&] { return QFile::exists(loader.folder() + QStringLiteral("importtrack.log")); }));
    QThread::msleep(500);
    loader.sendSignal(SIGTERM);
    EXPECT_EQ(loader.waitForExit(20000), 0);
    EXPECT_EQ(loader.log().contains(QStringLiteral("Service Stopped.")), GetParam().stoppedLine);
}

INSTANTIATE_TEST_SUITE_P(Levels, StopLine,
                         ::testing::Values(StopCase{"15", true}, StopCase{"2", true}, StopCase{"1", false},
                                           StopCase{"0", false}));

// Pause holds every import, new files included; continue resumes where the turn count stood, so the
// next pass comes sooner than a whole cycle after the continue.
TEST(ServiceEndToEnd, PauseHoldsImportsAndContinueKeepsTheTurnCount)
{
    constexpr int Turn = 100;
    LoaderProgram loader;
    loader.start({QStringLiteral("/logging"), QStringLiteral("15")}, Turn);

    QElapsedTimer clock;
    clock.start();
    newMessageFile(loader, QStringLiteral("a1.qzd"), 901);
    ASSERT_TRUE(LoaderProgram::waitFor([&] { return hasRow(loader, 901); }));
    const qint64 first = clock.elapsed();
    newMessageFile(loader, QStringLiteral("a2.qzd"), 902);
    ASSERT_TRUE(LoaderProgram::waitFor([&] { return hasRow(loader, 902); }));
    const qint64 second = clock.elapsed();
    const qint64 cycle = second - first; // ten turns and a pass, as this machine runs them now

    QThread::msleep(static_cast<unsigned long>(cycle * 7 / 10)); // about seven turns into the cycle
    loader.sendSignal(SIGUSR1);
    QThread::msleep(static_cast<unsigned long>(cycle * 2 / 10));
    newMessageFile(loader, QStringLiteral("b1.qzd"), 903);
    QThread::msleep(static_cast<unsigned long>(cycle * 15 / 10));
    EXPECT_FALSE(hasRow(loader, 903)) << "imported while paused";
    EXPECT_EQ(loader.waitingFiles(), 1);

    const qint64 resumed = clock.elapsed();
    loader.sendSignal(SIGUSR2);
    ASSERT_TRUE(LoaderProgram::waitFor([&] { return hasRow(loader, 903); }));
    const qint64 delay = clock.elapsed() - resumed;
    EXPECT_LT(delay, cycle * 6 / 10) << "the turn count started again from zero: cycle " << cycle
                                     << " ms, pass " << delay << " ms after the continue";

    const QString log = loader.log();
    EXPECT_TRUE(log.contains(QStringLiteral("(1): Service paused.")));
    EXPECT_TRUE(log.contains(QStringLiteral("(1): Service Resumed.")));
    EXPECT_TRUE(log.contains(QStringLiteral("(1): close and open traking log file")));
    loader.sendSignal(SIGTERM);
    EXPECT_EQ(loader.waitForExit(20000), 0);
}

TEST(ServiceEndToEnd, FileThatCannotBeDeletedHaltsImportsUntilContinue)
{
    LoaderProgram loader;
    const QString stuck = newMessageFile(loader, QStringLiteral("h1.qzd"), 801);
    LockedFolder lock(loader.trackingDir());
    if (!lock.locked())
        GTEST_SKIP() << "no way to make a folder refuse deletions here";
    loader.start({QStringLiteral("/logging"), QStringLiteral("15")}, FastTurn);

    ASSERT_TRUE(LoaderProgram::waitFor(
        [&] { return loader.log().contains(QStringLiteral("Unable to delete file")); }));
    EXPECT_TRUE(hasRow(loader, 801));
    EXPECT_TRUE(loader.log().contains(stuck));
    QThread::msleep(20 * FastTurn); // two cycles: halted, nothing is read again
    EXPECT_EQ(loader.log().count(QStringLiteral("(1): Unable to delete file")), 1);

    // Control requests are still answered while halted.
    loader.sendSignal(SIGUSR1);
    QThread::msleep(10 * FastTurn);
    lock.unlock();
    newMessageFile(loader, QStringLiteral("h2.qzd"), 802);
    QThread::msleep(20 * FastTurn);
    EXPECT_FALSE(hasRow(loader, 802));

    loader.sendSignal(SIGUSR2);
    ASSERT_TRUE(LoaderProgram::waitFor([&] { return loader.waitingFiles() == 0 && hasRow(loader, 802); }));
    EXPECT_TRUE(loader.log().contains(QStringLiteral("(1): Service Resumed.")));
    loader.sendSignal(SIGTERM);
    EXPECT_EQ(loader.waitForExit(20000), 0);
}

TEST(ServiceEndToEnd, ContentFileThatCannotBeDeletedStopsTheStoreWhileImportsGoOn)
{
    LoaderProgram loader;
    const QString stuck = loader.dropFile(QStringLiteral("C1.data"), "first content");
    LockedFolder lock(stuck);
    if (!lock.locked())
        GTEST_SKIP() << "a single file cannot be made undeletable here";
    loader.start({QStringLiteral("/logging"), QStringLiteral("15")}, FastTurn);

    ASSERT_TRUE(
        LoaderProgram::waitFor([&] { return loader.log().contains(QStringLiteral("WARNING!!!!!!!")); }));
    EXPECT_EQ(loader.content(QStringLiteral("C1")).size(), 1u);
    loader.dropFile(QStringLiteral("C2.data"), "second content");
    newMessageFile(loader, QStringLiteral("t1.qzd"), 701);
    ASSERT_TRUE(LoaderProgram::waitFor([&] { return hasRow(loader, 701); }));
    QThread::msleep(20 * FastTurn);
    EXPECT_TRUE(loader.content(QStringLiteral("C2")).empty()) << "the store should be off until restart";
    EXPECT_TRUE(QFile::exists(loader.trackingDir() + QStringLiteral("C2.data")));
    loader.sendSignal(SIGTERM);
    EXPECT_EQ(loader.waitForExit(20000), 0);
}

TEST(ServiceOnce, ImportsEverythingPresentAndNothingTwice)
{
    LoaderProgram loader;
    const std::map<QString, QByteArray> contents = dropSamples(loader, 40);
    const int qzdata = static_cast<int>(QDir(loader.trackingDir()).entryList({"*.qzdata"}).size());

    const LoaderProgram::Result first = loader.run({QStringLiteral("/ONCE")});
    EXPECT_EQ(first.exitCode, 0) << first.standardError.toStdString();
    EXPECT_EQ(loader.rowCount(QStringLiteral("Tracking")), 40);
    EXPECT_EQ(loader.waitingFiles(), qzdata) << "one pattern of content files per pass";

    EXPECT_EQ(loader.run({QStringLiteral("/once")}).exitCode, 0);
    EXPECT_EQ(loader.waitingFiles(), 0);
    EXPECT_EQ(loader.rowCount(QStringLiteral("HM_CONTENT")), static_cast<int>(contents.size()));

    EXPECT_EQ(loader.run({QStringLiteral("-Once")}).exitCode, 0);
    EXPECT_EQ(loader.rowCount(QStringLiteral("Tracking")), 40);
    EXPECT_EQ(loader.rowCount(QStringLiteral("HM_CONTENT")), static_cast<int>(contents.size()));

    // The same announcement again updates the row it made; it adds none.
    newMessageFile(loader, QStringLiteral("again.qzd"), 1);
    EXPECT_EQ(loader.run({QStringLiteral("/ONCE")}).exitCode, 0);
    EXPECT_EQ(loader.rowCount(QStringLiteral("Tracking")), 40);
}

TEST(ServiceOnce, UnreadableSettingsFileEndsWithExitCodeOne)
{
    LoaderProgram loader;
    QFile::remove(loader.folder() + QStringLiteral("settings.txt"));
    QDir().mkpath(loader.folder() + QStringLiteral("settings.txt")); // a folder cannot be read as a file
    const LoaderProgram::Result result = loader.run({QStringLiteral("/ONCE")});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(loader.log().contains(QStringLiteral("Error encountered reading the Settings file. ")));
    EXPECT_FALSE(result.standardError.contains(QStringLiteral("Service failed on")));
}

TEST(ServiceOnce, ErrorThatEscapesStartUpIsReportedAndFailsTheRun)
{
    LoaderProgram loader;
    QFile::remove(loader.folder() + QStringLiteral("qztrack.udl"));
    QFile::remove(loader.folder() + QStringLiteral("tracking.db"));
    // No connection at all: start-up logs it, then its first schema check cannot run.
    const LoaderProgram::Result result = loader.run({QStringLiteral("/ONCE")});
    EXPECT_NE(result.exitCode, 0);
    EXPECT_TRUE(result.standardError.startsWith(QStringLiteral("Service failed on execute: ")))
        << result.standardError.toStdString();
    EXPECT_TRUE(loader.log().contains(QStringLiteral("Connection String is missing")));
}

// Mended fault: the failure record read "No connection string has been given" after a connection
// string that could not be used; it carries the connection's own error, as the log does.
TEST(ServiceOnce, FailedConnectionIsReportedAsItself)
{
    LoaderProgram loader;
    writeDataLinkFile(loader.folder() + QStringLiteral("qztrack.udl"),
                      QStringLiteral("Provider=Gone;Data Source=x"));
    const LoaderProgram::Result result = loader.run({QStringLiteral("/ONCE")});
    EXPECT_NE(result.exitCode, 0);
    static const QRegularExpression logged(
        QStringLiteral("DB Connection failed: (.*); Connections string was"));
    const QRegularExpressionMatch match = logged.match(loader.log());
    ASSERT_TRUE(match.hasMatch()) << loader.log().toStdString();
    EXPECT_TRUE(match.captured(1).contains(QStringLiteral("Gone"))) << match.captured(1).toStdString();
    EXPECT_TRUE(
        result.standardError.startsWith(QStringLiteral("Service failed on execute: ") + match.captured(1)))
        << result.standardError.toStdString();
}

// Mended fault: a missing database file was created empty, and start-up then failed on "no such
// table". Opening creates nothing; the failure names the file.
TEST(ServiceOnce, MissingDatabaseFileIsNotCreated)
{
    LoaderProgram loader;
    const QString database = loader.folder() + QStringLiteral("tracking.db");
    QFile::remove(database);
    newMessageFile(loader, QStringLiteral("waits.qzd"), 1);
    const LoaderProgram::Result result = loader.run({QStringLiteral("/ONCE")});
    EXPECT_NE(result.exitCode, 0);
    EXPECT_FALSE(QFileInfo::exists(database));
    EXPECT_TRUE(loader.log().contains(QStringLiteral("DB Connection failed: The database file \"") +
                                      database + QStringLiteral("\" does not exist")))
        << loader.log().toStdString();
    EXPECT_TRUE(result.standardError.contains(database)) << result.standardError.toStdString();
    EXPECT_EQ(loader.waitingFiles(), 1);
}

TEST(ServiceEndToEnd, ErrorThatEscapesStartUpEndsTheService)
{
    LoaderProgram loader;
    QFile::remove(loader.folder() + QStringLiteral("qztrack.udl"));
    const LoaderProgram::Result result = loader.run({}, {QStringLiteral("OVTRACK_TURN_MS=20")});
    EXPECT_NE(result.exitCode, 0);
    EXPECT_TRUE(result.standardError.startsWith(QStringLiteral("Service failed on execute: ")))
        << result.standardError.toStdString();
}

} // namespace
