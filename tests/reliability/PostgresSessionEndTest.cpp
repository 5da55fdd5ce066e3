#include "loader/OVTrackSvcForm.h"
#include "tests/reliability/CountQuery.h"
#include "tests/reliability/NewMessageLine.h"
#include "tests/service/FileAge.h"
#include "tests/support/TestDatabase.h"
#include "tests/support/TestFolder.h"
#include "tools/prepare-run/ProgramFolder.h"

#include "shared/tracking/DbStatement.h"

#include <QDir>
#include <QElapsedTimer>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

// The server ends the loader's session (pg_terminate_backend, as an administrator or a failover
// does) again and again in the middle of a 4 000-line file. Each time the table is locked first,
// so that the loader's next statement on it (a lookup, the earliest-delivery query or the write)
// waits, and that statement is the one cut.
namespace {

constexpr int Lines = 4000;
constexpr int EveryRows = 500;

struct Cut
{
    int terminated = 0;
    int lookups = 0; // cuts that fell on the message-id lookup, which used to send lines to errors/
};

// Runs on a thread of its own, with a connection of its own, until `done`.
void endSessionsWhileImporting(const QString &folder, const QString &connection, const std::atomic<bool> &done,
                               Cut &cut)
{
    DbConnection admin(folder);
    admin.open(connection);
    for (int target = EveryRows; target < Lines - EveryRows && !done; target += EveryRows) {
        while (!done && scalar(admin, QStringLiteral("select count(*) as n from Tracking")) < target)
            QThread::msleep(20);
        if (done)
            break;
        admin.beginTransaction();
        admin.execute(QStringLiteral("LOCK TABLE Tracking IN ACCESS EXCLUSIVE MODE"));
        QElapsedTimer waited;
        waited.start();
        DbResult waiting;
        while (waiting.isEmpty() && waited.elapsed() < 5000) {
            admin.execute(QStringLiteral("select pg_stat_clear_snapshot()"));
            DbStatement blocked(admin, QStringLiteral("select pid, query from pg_stat_activity where datname = "
                                                      "current_database() and wait_event_type = 'Lock'"));
            waiting = blocked.open();
        }
        if (!waiting.isEmpty()) {
            const qint64 pid = waiting.integer(0, QStringLiteral("pid")).value_or(0);
            if (waiting.text(0, QStringLiteral("query")).contains(QLatin1String("select Sender, Filename")))
                ++cut.lookups;
            admin.execute(QStringLiteral("select pg_terminate_backend(%1)").arg(pid));
            ++cut.terminated;
        }
        admin.rollback();
    }
}

TEST(PostgresSessionEnd, SessionEndedAgainAndAgainMidFileAppliesEveryLineOnceAndNothingGoesToErrors)
{
    QString reason;
    if (!TestPostgres::server(&reason))
        GTEST_SKIP() << "PostgreSQL: " << reason.toStdString();
    TestFolder folder;
    TestDatabase database(Backend::PostgreSql, folder.path());
    const QString tracking = folder.path() + QStringLiteral("tracking/");
    ProgramFolder::prepare(folder.path(), tracking, database.connectionString());
    QStringList lines;
    for (int n = 0; n < Lines; ++n)
        lines << newMessageLine(QStringLiteral("T%1").arg(n, 4, 10, QChar(u'0')));
    makeSettled(folder.writeFile(QStringLiteral("tracking/big.qzd"),
                                 (lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")).toUtf8()));

    TsvcOVTrack loader(folder.path(), {QStringLiteral("svcOVTrack"), QStringLiteral("/logging"), QStringLiteral("3")});
    loader.Sleep = [](int) {};
    loader.InitialzeSettings();
    ASSERT_FALSE(loader.ProcessingHalted);
    std::atomic<bool> done{false};
    Cut cut;
    std::thread ender(endSessionsWhileImporting, folder.path(), database.connectionString(), std::cref(done),
                      std::ref(cut));
    loader.doImport();
    done = true;
    ender.join();
    // A line cut twice in a row waits in its file for the next pass.
    for (int pass = 0; pass < 3 && QFile::exists(tracking + QStringLiteral("big.qzd")); ++pass) {
        makeSettled(tracking + QStringLiteral("big.qzd"));
        loader.doImport();
    }
    loader.ServiceDestroy();

    EXPECT_GE(cut.terminated, 5);
    EXPECT_GE(cut.lookups, 1) << "no cut fell on a lookup";
    EXPECT_FALSE(QDir(tracking + QStringLiteral("errors")).exists());
    EXPECT_FALSE(QFile::exists(tracking + QStringLiteral("big.qzd")));
    DbConnection check(folder.path());
    check.open(database.connectionString());
    EXPECT_EQ(scalar(check, QStringLiteral("select count(*) as n from Tracking")), Lines);
    EXPECT_EQ(scalar(check, QStringLiteral("select count(distinct MsgID) as n from Tracking")), Lines);
}

} // namespace
