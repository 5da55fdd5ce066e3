#include "viewer/app/UndeliveredCheck.h"

#include "tests/audit/AuditRows.h"
#include "tests/support/TestFolder.h"
#include "tests/support/TrackingTestDatabase.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>

#include <memory>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

using DB = TrackingTestDatabase;

TEST(UndeliveredCheckJudgement, StateAndLineFollowTheThresholds)
{
    struct Case
    {
        UndeliveredFigures figures;
        CheckState state;
        const char *line;
    };
    const Case cases[] = {
        {{0, 0, 0},
         CheckState::Ok,
         "OVTRACK OK - 0 messages undeliverable or waiting over 2 days | undelivered=0;5;20 undeliverable=0 "
         "waiting=0 oldest_days=0;2;7;0;"},
        {{2, 3, 3},
         CheckState::Ok,
         "OVTRACK OK - 5 messages undeliverable or waiting over 2 days, oldest 3 days | undelivered=5;5;20 "
         "undeliverable=2 waiting=3 oldest_days=3;2;7;0;"},
        {{6, 0, 4},
         CheckState::Warning,
         "OVTRACK WARNING - 6 messages undeliverable or waiting over 2 days, oldest 4 days | "
         "undelivered=6;5;20 undeliverable=6 waiting=0 oldest_days=4;2;7;0;"},
        {{1, 20, 4},
         CheckState::Critical,
         "OVTRACK CRITICAL - 21 messages undeliverable or waiting over 2 days, oldest 4 days | "
         "undelivered=21;5;20 undeliverable=1 waiting=20 oldest_days=4;2;7;0;"},
        {{0, 1, 8},
         CheckState::Critical,
         "OVTRACK CRITICAL - 1 messages undeliverable or waiting over 2 days, oldest 8 days | "
         "undelivered=1;5;20 undeliverable=0 waiting=1 oldest_days=8;2;7;0;"},
    };
    for (const Case &c : cases) {
        const CheckOutcome outcome = judgeUndelivered(c.figures, UndeliveredCheckOptions{});
        EXPECT_EQ(outcome.state, c.state) << c.line;
        EXPECT_EQ(outcome.line, c.line);
    }
    EXPECT_EQ(unknownOutcome("no\r\ntable").line, "OVTRACK UNKNOWN - no table");
}

// The program against a real database whose rows are received whole days before today.
class UndeliveredCheckRun : public BackendTest
{
protected:
    void SetUp() override
    {
        BackendTest::SetUp();
        if (!IsSkipped())
            database = std::make_unique<DB>(folder.path(), QStringLiteral("tracking.db"), true, backend());
    }

    void add(const QString &id, int daysAgo, const std::optional<QDateTime> &delivered)
    {
        QVariantMap row{
            {"MsgID", id},
            {"PracID", "P01"},
            {"QZServerReceiveTime", QDateTime(QDate::currentDate().addDays(-daysAgo), QTime(0, 30))}};
        if (delivered)
            row.insert("QZDeliveryTime", *delivered);
        database->insert(row);
    }

    ViewerRun check(const QStringList &options, const QString &connection = {})
    {
        return runViewer(QStringList{"", "", connection.isEmpty() ? database->connectionString() : connection,
                                     "--check-undelivered"} +
                             options,
                         config.path());
    }

    TestFolder folder;
    TestFolder config;
    std::unique_ptr<DB> database;
};

// Mended fault: the line said "undeliverable or waiting" but undeliverable messages were not counted.
TEST_P(UndeliveredCheckRun, CountsUndeliverableAndWaitingMessagesOverTheAgeEachInItsOwnFigure)
{
    add("W1", 4, std::nullopt);        // waiting over the age: counts
    add("W2", 3, std::nullopt);        // counts
    add("F1", 5, DB::at(1905, 6, 7));  // decrypt failed: counts as waiting, as in the summary
    add("F2", 6, DB::at(1905, 7, 6));  // counts
    add("W3", 2, std::nullopt);        // not over 2 days
    add("U1", 9, DB::at(1900, 1, 1));  // undeliverable: counts
    add("U2", 3, DB::at(1900, 1, 1));  // counts
    add("U3", 1, DB::at(1900, 1, 1));  // not over 2 days
    add("E1", 9, DB::at(2001, 1, 1));  // emailed
    add("M1", 9, DB::at(1900, 1, 27)); // managed: dealt with, so not counted
    add("M2", 12, DB::at(1900, 1, 27));
    add("D1", 9, DB::at(2024, 1, 1)); // delivered

    const ViewerRun warning = check({"-w", "5", "-c", "9", "--critical-age", "10"});
    EXPECT_EQ(warning.exitCode, 1) << warning.output.toStdString();
    EXPECT_EQ(warning.output,
              "OVTRACK WARNING - 6 messages undeliverable or waiting over 2 days, oldest 9 days | "
              "undelivered=6;5;9 undeliverable=2 waiting=4 oldest_days=9;2;10;0;\n");

    const ViewerRun ok = check({"-w", "6", "-c", "9", "--critical-age", "10"});
    EXPECT_EQ(ok.exitCode, 0) << ok.output.toStdString();
    EXPECT_TRUE(ok.output.startsWith("OVTRACK OK - 6 messages")) << ok.output.toStdString();

    const ViewerRun critical = check({"-w", "1", "-c", "6", "--age", "0", "--critical-age", "10"});
    EXPECT_EQ(critical.exitCode, 2) << critical.output.toStdString();
    EXPECT_EQ(critical.output,
              "OVTRACK CRITICAL - 8 messages undeliverable or waiting over 0 days, oldest 9 days | "
              "undelivered=8;1;6 undeliverable=3 waiting=5 oldest_days=9;0;10;0;\n");

    // The oldest undeliverable message is nine days old: older than the default critical age.
    const ViewerRun tooOld = check({"-w", "50", "-c", "90"});
    EXPECT_EQ(tooOld.exitCode, 2) << tooOld.output.toStdString();
}

TEST_P(UndeliveredCheckRun, UnknownWhenTheDatabaseOrTheCommandLineCannotBeUsed)
{
    DB empty(folder.path(), "empty.db", false, backend());
    const ViewerRun noTable = check({}, empty.connectionString());
    EXPECT_EQ(noTable.exitCode, 3);
    EXPECT_EQ(noTable.output, "OVTRACK UNKNOWN - the database has no Tracking table\n");

    const ViewerRun noServer = check({}, "Provider=SQLite;Data Source=/nonexistent/folder/tracking.db");
    EXPECT_EQ(noServer.exitCode, 3);
    EXPECT_TRUE(noServer.output.startsWith("OVTRACK UNKNOWN - cannot connect to the database: "))
        << noServer.output.toStdString();

    const ViewerRun badOption = check({"-w", "many"});
    EXPECT_EQ(badOption.exitCode, 3);
    EXPECT_EQ(badOption.output, "OVTRACK UNKNOWN - -w needs a whole number\n");
}

OVTRACK_ON_EVERY_BACKEND(UndeliveredCheckRun);

// Mended fault: the monitoring user, who may read the embedded database through its group but not
// write in its folder, got UNKNOWN whenever the loader was not running (no write-ahead log, and
// SQLite could not make one for it); a user outside the group was told the file "does not exist".
TEST(UndeliveredCheckAsAnotherUser, GroupMemberReadsTheDatabaseAndOthersAreDeniedByName)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "only root can run the check as another user";
    constexpr uid_t Nobody = 65534;
    constexpr gid_t Group = 65534;
    TestFolder root;
    TestFolder config;
    ASSERT_EQ(::chmod(QFile::encodeName(root.path()).constData(), 0755), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(config.path()).constData(), 0777), 0);
    const QString state = root.makeFolder("state");
    const QString database = state + "tracking.db";
    {
        DB rows(state, "tracking.db", true);
        rows.insert({{"MsgID", "W1"},
                     {"PracID", "P01"},
                     {"QZServerReceiveTime", QDateTime(QDate::currentDate().addDays(-3), QTime(0, 30))}});
    }
    ASSERT_FALSE(QFile::exists(database + "-wal")) << "the last connection has gone";
    for (const QString &path : {state, database})
        ASSERT_EQ(::chown(QFile::encodeName(path).constData(), 0, Group), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(state).constData(), 0750), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(database).constData(), 0640), 0);

    const auto checkAs = [&](const QStringList &identity) {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", config.path());
        env.insert("HOME", config.path());
        process.setProcessEnvironment(env);
        process.start("setpriv",
                      identity + QStringList{OVTRACK_PROGRAM, "", "", sqliteConnectionString(database),
                                             "--check-undelivered"});
        process.waitForFinished(60000);
        return std::make_pair(process.exitCode(), QString::fromLocal8Bit(process.readAllStandardOutput()));
    };
    const auto [member, memberLine] =
        checkAs({QString("--reuid=%1").arg(Nobody), QString("--regid=%1").arg(Group), "--clear-groups"});
    EXPECT_EQ(member, 0) << memberLine.toStdString();
    EXPECT_TRUE(memberLine.startsWith("OVTRACK OK - ")) << memberLine.toStdString();
    EXPECT_FALSE(QFile::exists(database + "-wal")) << "a reader leaves nothing behind";

    const auto [outsider, outsiderLine] =
        checkAs({QString("--reuid=%1").arg(Nobody), "--regid=12345", "--clear-groups"});
    EXPECT_EQ(outsider, 3);
    EXPECT_TRUE(outsiderLine.contains("permission denied")) << outsiderLine.toStdString();
}

// The options a monitoring plugin is expected to have, and thresholds that contradict each other.
TEST(UndeliveredCheckOptions, VersionHelpTimeOutAndThresholdOrder)
{
    TestFolder config;
    const QStringList check{"", "", "Provider=SQLite;Data Source=/nonexistent/tracking.db",
                            "--check-undelivered"};
    const ViewerRun version = runViewer(check + QStringList{"-V"}, config.path());
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_TRUE(version.output.startsWith("check_ovtrack ")) << version.output.toStdString();
    const ViewerRun help = runViewer(check + QStringList{"-h"}, config.path());
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.output.startsWith("Usage: check_ovtrack")) << help.output.toStdString();

    const ViewerRun crossed = runViewer(check + QStringList{"-w", "30", "-c", "10"}, config.path());
    EXPECT_EQ(crossed.exitCode, 3);
    EXPECT_EQ(crossed.output, "OVTRACK UNKNOWN - -w must not be above -c\n");

    // A server that takes the connection and never answers.
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(listener, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr *>(&address), size), 0);
    ASSERT_EQ(::listen(listener, 4), 0);
    ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr *>(&address), &size), 0);
    const QString silent = QStringLiteral("Provider=PostgreSQL;Data Source=127.0.0.1,%1;Initial Catalog=x;"
                                          "User ID=y")
                               .arg(ntohs(address.sin_port));
    QElapsedTimer clock;
    clock.start();
    const ViewerRun timedOut = runViewer({"", "", silent, "--check-undelivered", "-t", "1"}, config.path());
    ::close(listener);
    EXPECT_EQ(timedOut.exitCode, 3);
    EXPECT_EQ(timedOut.output, "OVTRACK UNKNOWN - the check timed out\n");
    EXPECT_LT(clock.elapsed(), 10000);
}

} // namespace
