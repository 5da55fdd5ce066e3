#include "loader/TrackingRetention.h"

#include "shared/config/SettingsFile.h"
#include "shared/tracking/TrackingSchema.h"

#include "tests/retention/RetentionDatabase.h"
#include "tests/retention/RetentionProgram.h"
#include "tests/support/TestFolder.h"
#include "tests/support/TrackingTestDatabase.h"

#include "tools/sample-tracking/SampleTracking.h"

#include <QThread>

#include <signal.h>

#include <memory>
#include <vector>

#include <gtest/gtest.h>

namespace {

using DB = TrackingTestDatabase;

const QDateTime Now = DB::at(2026, 6, 15, 12);
constexpr int RetainDays = 30;
const QDateTime Cutoff = DB::at(2026, 5, 16, 12);
const QDateTime Old = DB::at(2026, 4, 1, 10);
const QDateTime Recent = DB::at(2026, 6, 10, 10);

QDateTime sentinel(QDate date)
{
    return sentinelDateTime(date);
}

class Retention : public BackendTest
{
protected:
    void SetUp() override
    {
        BackendTest::SetUp();
        if (IsSkipped())
            return;
        database = std::make_unique<DB>(folder.path(), QStringLiteral("tracking.db"), true, backend());
        rows = std::make_unique<RetentionDatabase>(database->connection());
        rows->createContentTable();
    }

    DbConnection &connection() { return database->connection(); }

    TestFolder folder;
    std::unique_ptr<DB> database;
    std::unique_ptr<RetentionDatabase> rows;
};

// Every delivery state, old and recent, and content with and without its tracking row.
TEST_P(Retention, DeletesExactlyTheSettledOldRowsAndTheContentLeftWithoutARow)
{
    rows->addRow("D1", Old, Old.addSecs(3600));                           // delivered: goes
    rows->addRow("E1", Old, sentinel(Sentinel::Emailed));                 // emailed: goes
    rows->addRow("M1", Old, sentinel(Sentinel::Managed));                 // managed: goes
    rows->addRow("S1", Old, Old);                                         // delivered at receipt: goes
    rows->addRow("B2", Cutoff.addSecs(-1), Cutoff);                       // just over the age: goes
    rows->addRow("W1", Old, std::nullopt);                                // waiting: stays
    rows->addRow("U1", Old, sentinel(Sentinel::Undeliverable));           // undeliverable: stays
    rows->addRow("F1", Old, sentinel(Sentinel::DecryptFailedDayFirst));   // decrypt failed: stays
    rows->addRow("F2", Old, sentinel(Sentinel::DecryptFailedMonthFirst)); // decrypt failed: stays
    rows->addRow("R1", Recent, Recent.addSecs(60));                       // too recent: stays
    rows->addRow("B1", Cutoff, Cutoff.addSecs(60));                       // exactly at the age: stays
    rows->addRow("N1", std::nullopt, Old);                                // never received: stays
    rows->addRow("X1", Old, Old.addSecs(60));                             // one row of X1 goes,
    rows->addRow("X1", Old, std::nullopt);                                // the waiting one stays
    for (const char *id : {"D1", "E1", "M1", "W1", "X1", "R1", "EARLY"}) // EARLY: no tracking line yet
        rows->addContent(id);

    TrackingRetention retention(connection(), RetainDays, Now);
    EXPECT_EQ(retention.cutoff(), Cutoff);
    const RetentionCounts preview = retention.preview();
    EXPECT_EQ(preview.trackingRows, 6);
    EXPECT_EQ(preview.contentRows, 3);
    EXPECT_EQ(rows->count("Tracking"), 14) << "the preview changes nothing";
    EXPECT_EQ(rows->count("HM_CONTENT"), 7);

    retention.runToEnd();
    EXPECT_EQ(retention.deleted().trackingRows, 6);
    EXPECT_EQ(retention.deleted().contentRows, 3);
    EXPECT_EQ(rows->trackingRows(),
              QStringList({"B1 2026-05-16", "F1 1905-06-07", "F2 1905-07-06", "N1 2026-04-01",
                           "R1 2026-06-10", "U1 1900-01-01", "W1 waiting", "X1 waiting"}));
    EXPECT_EQ(rows->contentIds(), QStringList({"EARLY", "R1", "W1", "X1"}));

    // A second run finds nothing more.
    TrackingRetention again(connection(), RetainDays, Now);
    again.runToEnd();
    EXPECT_EQ(again.deleted().trackingRows, 0);
    EXPECT_EQ(rows->count("Tracking"), 8);
}

TEST_P(Retention, DeletesInBatchesOfAThousandRowsEachInItsOwnTransaction)
{
    rows->addRows("D", 3500, Old, Old.addSecs(60));
    rows->addRows("W", 10, Old, std::nullopt);
    TrackingRetention retention(connection(), RetainDays, Now);
    EXPECT_EQ(retention.preview().batches, 4);

    EXPECT_TRUE(retention.deleteBatch());
    EXPECT_EQ(rows->count("Tracking"), 2510) << "one batch is a thousand rows, committed";
    EXPECT_FALSE(connection().inTransaction());

    // A slice that is over at once still deletes one batch: the loop always gets somewhere.
    EXPECT_TRUE(retention.runFor(std::chrono::milliseconds(0)));
    EXPECT_EQ(rows->count("Tracking"), 1510);

    int pauses = 0;
    retention.runToEnd([&](std::chrono::milliseconds) {
        ++pauses;
        EXPECT_FALSE(connection().inTransaction()) << "the pause comes between transactions";
    });
    EXPECT_EQ(pauses, 1);
    EXPECT_EQ(retention.deleted().trackingRows, 3500);
    EXPECT_EQ(retention.deleted().batches, 4);
    EXPECT_EQ(rows->count("Tracking"), 10);
    EXPECT_FALSE(retention.deleteBatch());
    EXPECT_FALSE(retention.runFor(std::chrono::milliseconds(1000)));
}

TEST_P(Retention, BatchesShrinkWhenTheyTakeLongerThanTheTargetAndStillFinish)
{
    rows->addRows("D", 1200, Old, Old.addSecs(60));
    TrackingRetention retention(connection(), RetainDays, Now);
    retention.setBatchTimeTarget(std::chrono::milliseconds(0)); // every batch is too slow
    EXPECT_TRUE(retention.deleteBatch());
    EXPECT_EQ(rows->count("Tracking"), 1200 - TrackingRetention::FirstTimedBatch);
    EXPECT_EQ(retention.batchSize(), TrackingRetention::SmallestBatch);
    retention.runToEnd();
    EXPECT_EQ(rows->count("Tracking"), 0);
    EXPECT_EQ(retention.deleted().batches,
              1 + (1200 - TrackingRetention::FirstTimedBatch) / TrackingRetention::SmallestBatch);
}

TEST_P(Retention, TimedBatchesStartSmallAndGrowByHalvesUpToAThousand)
{
    rows->addRows("D", 4000, Old, Old.addSecs(60));
    TrackingRetention retention(connection(), RetainDays, Now);
    retention.setBatchTimeTarget(std::chrono::hours(1)); // every batch is quick
    std::vector<int> sizes;
    qint64 before = 0;
    while (retention.deleteBatch()) {
        sizes.push_back(int(retention.deleted().trackingRows - before));
        before = retention.deleted().trackingRows;
    }
    const std::vector<int> expected{100, 150, 225, 337, 505, 757, 1000};
    ASSERT_GE(sizes.size(), expected.size());
    EXPECT_EQ(std::vector<int>(sizes.begin(), sizes.begin() + long(expected.size())), expected);
    EXPECT_EQ(rows->count("Tracking"), 0);
}

TEST_P(Retention, WorksWithoutAContentTableAndKeepsEverythingWithinTheAge)
{
    connection().execute("drop table HM_CONTENT");
    rows->addRow("D1", Old, Old.addSecs(60));
    rows->addRow("R1", Recent, Recent.addSecs(60));
    TrackingRetention retention(connection(), 365, Now);
    retention.ensureContentIndex();
    EXPECT_EQ(retention.preview().trackingRows, 0);
    retention.runToEnd();
    EXPECT_EQ(rows->count("Tracking"), 2);

    TrackingRetention shorter(connection(), RetainDays, Now);
    shorter.runToEnd();
    EXPECT_EQ(rows->trackingRows(), QStringList({"R1 2026-06-10"}));
}

TEST_P(Retention, SummaryTellsTheCountsTheCutoffAndTheSetting)
{
    TrackingRetention retention(connection(), RetainDays, Now);
    EXPECT_EQ(retention.summary(false, {12, 3, 1}),
              "Retention: deleted 12 tracking rows and 3 content rows received before 2026-05-16 12:00:00 "
              "(retaindays=30)");
    EXPECT_EQ(retention.summary(true, {12, 3, 1}),
              "Retention dry run: would delete 12 tracking rows and 3 content rows received before "
              "2026-05-16 12:00:00 (retaindays=30)");
}

OVTRACK_ON_EVERY_BACKEND(Retention);

TEST(RetentionSetting, ReadFromTheSettingsFileAsTheLoaderReadsItsOtherKeys)
{
    struct Case
    {
        const char *line;
        int days;
        bool error;
    };
    const Case cases[] = {
        {"retaindays=30", 30, false},        {" RetainDays = 7 ", 7, false}, {"+retaindays=30", 0, false},
        {"retaindays=0", 0, false},          {"retaindays=abc", 0, true},    {"retaindays=-5", 0, true},
        {"summarydestination=/x", 0, false},
    };
    for (const Case &c : cases) {
        LoaderSettings settings;
        int errorLine = 0;
        applyLoaderSettingsLines(settings, {QString::fromLatin1(c.line)},
                                 [&](int line, const QString &) { errorLine = line; });
        EXPECT_EQ(settings.retainDays, c.days) << c.line;
        EXPECT_EQ(errorLine == 1, c.error) << c.line;
    }
}

// The real loader imports new messages while retention deletes old ones from the same database
// through its own connection: a file is dropped between every two batches.
using RetentionWhileImporting = RetentionProgramTest;

TEST_P(RetentionWhileImporting, ImportsEveryMessageAndDeletesOnlyTheSettledOldRows)
{
    rows->addRows("OLD", 5000, Old, Old.addSecs(60));
    rows->addRows("WAIT", 50, Old, std::nullopt);

    loader->start({"/logging", "3"}, 20);
    SampleTracking samples;
    int dropped = 0;
    const auto dropFile = [&] {
        QStringList lines{SampleTracking::headerLine()};
        for (int i = 0; i < 5; ++i)
            lines << samples.newMessageLine(SampleTracking::messageId(++dropped));
        loader->dropTracking(QStringLiteral("new%1.qzd").arg(dropped), lines);
    };
    dropFile();
    ASSERT_TRUE(LoaderProgram::waitFor([&] { return loader->waitingFiles() == 0; }));

    TrackingRetention retention(*connection, RetainDays, Now);
    retention.runToEnd([&](std::chrono::milliseconds) {
        dropFile();
        QThread::msleep(30);
    });
    ASSERT_TRUE(LoaderProgram::waitFor([&] { return loader->waitingFiles() == 0; }));
    loader->sendSignal(SIGTERM);
    EXPECT_EQ(loader->waitForExit(20000), 0);

    EXPECT_EQ(retention.deleted().trackingRows, 5000);
    EXPECT_GE(retention.deleted().batches, 5);
    EXPECT_EQ(rows->count("Tracking"), 50 + dropped);
    for (int i = 1; i <= dropped; ++i)
        EXPECT_FALSE(loader->field(SampleTracking::messageId(i), "MsgID").isNull()) << i;
    EXPECT_FALSE(loader->log().contains("locked")) << loader->log().toStdString();
}

OVTRACK_ON_EVERY_BACKEND(RetentionWhileImporting);

} // namespace
