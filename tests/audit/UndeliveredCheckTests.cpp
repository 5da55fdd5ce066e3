#include "viewer/app/UndeliveredCheck.h"

#include "tests/audit/AuditRows.h"
#include "tests/support/TestFolder.h"
#include "tests/support/TrackingTestDatabase.h"

#include <memory>

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
         "waiting=0 oldest_days=0;2;7"},
        {{2, 3, 3},
         CheckState::Ok,
         "OVTRACK OK - 5 messages undeliverable or waiting over 2 days, oldest 3 days | undelivered=5;5;20 "
         "undeliverable=2 waiting=3 oldest_days=3;2;7"},
        {{6, 0, 4},
         CheckState::Warning,
         "OVTRACK WARNING - 6 messages undeliverable or waiting over 2 days, oldest 4 days | "
         "undelivered=6;5;20 undeliverable=6 waiting=0 oldest_days=4;2;7"},
        {{1, 20, 4},
         CheckState::Critical,
         "OVTRACK CRITICAL - 21 messages undeliverable or waiting over 2 days, oldest 4 days | "
         "undelivered=21;5;20 undeliverable=1 waiting=20 oldest_days=4;2;7"},
        {{0, 1, 8},
         CheckState::Critical,
         "OVTRACK CRITICAL - 1 messages undeliverable or waiting over 2 days, oldest 8 days | "
         "undelivered=1;5;20 undeliverable=0 waiting=1 oldest_days=8;2;7"},
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
              "undelivered=6;5;9 undeliverable=2 waiting=4 oldest_days=9;2;10\n");

    const ViewerRun ok = check({"-w", "6", "-c", "9", "--critical-age", "10"});
    EXPECT_EQ(ok.exitCode, 0) << ok.output.toStdString();
    EXPECT_TRUE(ok.output.startsWith("OVTRACK OK - 6 messages")) << ok.output.toStdString();

    const ViewerRun critical = check({"-w", "1", "-c", "6", "--age", "0", "--critical-age", "10"});
    EXPECT_EQ(critical.exitCode, 2) << critical.output.toStdString();
    EXPECT_EQ(critical.output,
              "OVTRACK CRITICAL - 8 messages undeliverable or waiting over 0 days, oldest 9 days | "
              "undelivered=8;1;6 undeliverable=3 waiting=5 oldest_days=9;0;10\n");

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

} // namespace
