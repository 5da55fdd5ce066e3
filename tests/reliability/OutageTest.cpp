#include "tests/reliability/TrackingLedger.h"
#include "tests/service/FileAge.h"
#include "tests/service/LoaderProgram.h"
#include "tools/prepare-run/ProgramFolder.h"
#include "tools/sample-tracking/SampleTracking.h"

#include "shared/config/DataLinkFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <gtest/gtest.h>

#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <signal.h>

namespace {

constexpr int TurnMilliseconds = 10;

// A tracking folder filled with sample messages, the ledger of what it held, and the checks made
// once the service has ended.
class Outage : public ::testing::Test
{
protected:
    void dropMessages(int messages, int first, const QString &batch)
    {
        SampleTracking(static_cast<quint32>(first))
            .writeInto(m_program.trackingDir(), messages, first, batch);
        for (const QString &name : QDir(m_program.trackingDir()).entryList(QDir::Files))
            makeSettled(m_program.trackingDir() + name);
    }
    void expectNothingLost(const TrackingLedger &ledger, const QString &databasePath)
    {
        DbConnection database(QFileInfo(databasePath).path());
        database.open(QStringLiteral("Provider=SQLite;Data Source=") + databasePath);
        const TrackingLedger::Outcome outcome = ledger.verify(database);
        database.close();
        std::printf(
            "%d lines: %d in Tracking, %d waiting or in errors/; %d content files: %d stored, %d waiting\n",
            outcome.lines, outcome.linesInTracking, outcome.linesWaiting, outcome.contentFiles,
            outcome.contentStored, outcome.contentWaiting);
        EXPECT_GT(outcome.lines, 0);
        EXPECT_EQ(outcome.linesLost, 0) << outcome.faults.join('\n').toStdString();
        EXPECT_EQ(outcome.messagesWithTooManyRows, 0) << outcome.faults.join('\n').toStdString();
        EXPECT_EQ(outcome.contentLost, 0) << outcome.faults.join('\n').toStdString();
        EXPECT_EQ(outcome.integrity, QStringLiteral("ok"));
    }
    QString databasePath() const
    {
        return m_program.folder() + QString::fromLatin1(ProgramFolder::DatabaseName);
    }
    bool stillRunning() { return !m_program.waitForExit(0).has_value(); }
    void stopService()
    {
        m_program.sendSignal(SIGTERM);
        EXPECT_EQ(m_program.waitForExit(20000), std::optional<int>(0));
    }

    LoaderProgram m_program;
};

TEST_F(Outage, DatabaseLockedByAnotherWriterDuringAPassLosesNothingAndTheNextPassGoesOn)
{
    dropMessages(300, 1, QStringLiteral("lock_"));
    const TrackingLedger ledger(m_program.trackingDir());
    DbConnection other(m_program.folder());
    other.open(ProgramFolder::sqliteInitString());
    other.beginTransaction();
    other.execute(QStringLiteral("insert into Tracking (MsgID) values ('HELD')"));

    m_program.start({}, TurnMilliseconds);
    QThread::msleep(1500); // several passes meet the lock
    EXPECT_TRUE(stillRunning());
    other.rollback();
    other.close();

    EXPECT_TRUE(LoaderProgram::waitFor([&] { return m_program.waitingFiles() == 0; }, 60000))
        << m_program.waitingFiles() << " files still waiting after the lock was released";
    stopService();
    expectNothingLost(ledger, databasePath());
}

TEST_F(Outage, DatabaseFolderMissingAtStartStopsTheServiceAndARestartImportsWhatWaited)
{
    // A copy of the prepared database in a folder of its own, named by the data-link file. A copy,
    // not a move: this process still has the original open, and SQLite shares its locks and WAL
    // index per file, so reading a moved file here would show a stale view.
    const QString folder = m_program.folder() + QStringLiteral("db/");
    ASSERT_TRUE(QDir().mkpath(folder));
    ASSERT_TRUE(QFile::copy(databasePath(), folder + QStringLiteral("tracking.db")));
    writeDataLinkFile(m_program.folder() + QStringLiteral("qztrack.udl"),
                      QStringLiteral("Provider=SQLite;Data Source=") + folder +
                          QStringLiteral("tracking.db"));
    ASSERT_TRUE(QDir().rename(folder, m_program.folder() + QStringLiteral("db.away")));
    dropMessages(100, 1, QStringLiteral("wait_"));
    const TrackingLedger ledger(m_program.trackingDir());
    const int waiting = m_program.waitingFiles();

    const LoaderProgram::Result failed =
        m_program.run({}, {QStringLiteral("OVTRACK_TURN_MS=%1").arg(TurnMilliseconds)});
    EXPECT_NE(failed.exitCode, 0);
    EXPECT_TRUE(failed.standardError.contains(QStringLiteral("Service failed on")))
        << failed.standardError.toStdString();
    EXPECT_EQ(m_program.waitingFiles(), waiting) << "nothing may be taken without a database";

    ASSERT_TRUE(QDir().rename(m_program.folder() + QStringLiteral("db.away"), folder));
    m_program.start({QStringLiteral("/logging"), QStringLiteral("15")}, TurnMilliseconds);
    EXPECT_TRUE(LoaderProgram::waitFor([&] { return m_program.waitingFiles() == 0; }, 60000));
    stopService();
    expectNothingLost(ledger, folder + QStringLiteral("tracking.db"));
}

TEST_F(Outage, TrackingFolderRemovedAndRestoredWhileTheServiceRuns)
{
    dropMessages(60, 1, QStringLiteral("before_"));
    const TrackingLedger before(m_program.trackingDir());
    m_program.start({}, TurnMilliseconds);
    ASSERT_TRUE(LoaderProgram::waitFor([&] { return m_program.waitingFiles() == 0; }, 60000));

    const QString away = m_program.folder() + QStringLiteral("tracking.away");
    ASSERT_TRUE(QDir().rename(m_program.trackingDir(), away));
    QThread::msleep(1000); // passes over a missing folder
    EXPECT_TRUE(stillRunning());
    ASSERT_TRUE(QDir().rename(away, m_program.trackingDir()));
    dropMessages(60, 1001, QStringLiteral("after_"));
    const TrackingLedger after(m_program.trackingDir());
    EXPECT_TRUE(LoaderProgram::waitFor([&] { return m_program.waitingFiles() == 0; }, 60000));
    stopService();
    expectNothingLost(before, databasePath());
    expectNothingLost(after, databasePath());
}

// A small tmpfs for the log, so that it fills up while the service writes to it.
class SmallDisk
{
public:
    explicit SmallDisk(const QString &path) : m_path(path)
    {
        QDir().mkpath(path);
        if (::mount("tmpfs", path.toLocal8Bit().constData(), "tmpfs", 0, "size=64k") == 0)
            m_mounted = true;
        else
            m_reason = QStringLiteral("cannot mount a tmpfs here: %1")
                           .arg(QString::fromLocal8Bit(std::strerror(errno)));
    }
    ~SmallDisk()
    {
        if (m_mounted)
            ::umount(m_path.toLocal8Bit().constData());
    }
    bool mounted() const { return m_mounted; }
    QString reason() const { return m_reason; }

private:
    QString m_path;
    bool m_mounted = false;
    QString m_reason;
};

TEST_F(Outage, LogDiskFullStopsTheServiceWithItsRecordAndNoFileGoesUnapplied)
{
    const QString disk = m_program.folder() + QStringLiteral("smalldisk/");
    const SmallDisk small(disk);
    if (!small.mounted()) {
        std::printf("skipped: %s\n", qPrintable(small.reason()));
        GTEST_SKIP() << small.reason().toStdString();
    }
    // The log lives on the small disk; the database and the tracking folder do not.
    ASSERT_TRUE(QFile::link(disk + QStringLiteral("importtrack.log"),
                            m_program.folder() + QStringLiteral("importtrack.log")));
    dropMessages(400, 1, QStringLiteral("full_"));
    const TrackingLedger ledger(m_program.trackingDir());

    const LoaderProgram::Result result =
        m_program.run({QStringLiteral("/logging"), QStringLiteral("15")},
                      {QStringLiteral("OVTRACK_TURN_MS=%1").arg(TurnMilliseconds)});
    EXPECT_NE(result.exitCode, 0) << "the service did not fail with its log disk full";
    EXPECT_TRUE(result.standardError.contains(QStringLiteral("Service failed on")))
        << result.standardError.toStdString();
    std::printf("service ended with %d (%s); %d files still waiting\n", result.exitCode,
                qPrintable(result.standardError.trimmed()), m_program.waitingFiles());
    expectNothingLost(ledger, databasePath());
}

} // namespace
