#include "tests/reliability/CountQuery.h"
#include "tests/reliability/NewMessageLine.h"
#include "tests/service/LoaderProgram.h"
#include "tests/support/TestDatabase.h"
#include "tests/support/TestFolder.h"

#include "shared/tracking/DbStatement.h"
#include "shared/tracking/TrackingSchema.h"
#include "viewer/search/TrackResultModel.h"
#include "viewer/search/TrackSearch.h"

#include <QDir>
#include <QThread>

#include <gtest/gtest.h>

#include <signal.h>

#include <set>

// Several at once on the server database: two real loaders, each with its own tracking folder,
// import into one PostgreSQL database while a viewer searches and tags every few hundred ms.
namespace {

constexpr int LinesPerLoader = 5000;
constexpr int LinesPerFile = 500;

void dropLines(const LoaderProgram &loader, const QString &prefix)
{
    for (int file = 0; file < LinesPerLoader / LinesPerFile; ++file) {
        QStringList lines;
        for (int n = 0; n < LinesPerFile; ++n)
            lines << newMessageLine(QStringLiteral("%1-%2").arg(prefix).arg(file * LinesPerFile + n));
        loader.dropTracking(QStringLiteral("t%1.qzd").arg(file), lines);
    }
}

TEST(ConcurrentLoaders, TwoLoadersAndATaggingViewerApplyEveryLineOnceAndKeepEveryTag)
{
    QString reason;
    if (!TestPostgres::server(&reason))
        GTEST_SKIP() << "PostgreSQL: " << reason.toStdString();
    TestFolder folder;
    TestDatabase database(Backend::PostgreSql, folder.path());
    LoaderProgram first(database.connectionString());
    LoaderProgram second(database.connectionString());
    dropLines(first, QStringLiteral("A"));
    dropLines(second, QStringLiteral("B"));
    first.start({}, 10);
    second.start({}, 10);

    DbConnection viewer(folder.path());
    viewer.open(database.connectionString());
    TrackResultModel model;
    TrackSearch search(viewer, model);
    std::set<QString> tagged;
    const QDateTime now = QDateTime::currentDateTime();
    const bool done = LoaderProgram::waitFor(
        [&] {
            SearchCriteria criteria = SearchCriteria::atStartup(now.date());
            criteria.requestIdChecked = true;
            criteria.requestText = QStringLiteral("lab1");
            EXPECT_EQ(search.RunTrackQuery(criteria, QStringLiteral("MsgID"), now).outcome,
                      TrackSearch::Outcome::Opened);
            DbStatement waiting(viewer,
                                QStringLiteral("select MsgID from Tracking where QZDeliveryTime is null "
                                               "order by MsgID desc limit 1"));
            const DbResult row = waiting.open();
            if (!row.isEmpty()) {
                DbStatement tag(viewer, viewer.dialect().tagAsManagedSql());
                tag.bind(QStringLiteral("QMessageID"), ParamType::Text, row.text(0, QStringLiteral("MsgID")));
                tag.execute();
                tagged.insert(row.text(0, QStringLiteral("MsgID")));
            }
            QThread::msleep(300);
            return first.waitingFiles() == 0 && second.waitingFiles() == 0;
        },
        600000);
    first.sendSignal(SIGTERM);
    second.sendSignal(SIGTERM);
    EXPECT_EQ(first.waitForExit(20000), std::optional<int>(0));
    EXPECT_EQ(second.waitForExit(20000), std::optional<int>(0));
    ASSERT_TRUE(done) << "files still waiting";

    EXPECT_EQ(scalar(viewer, QStringLiteral("select count(*) as n from Tracking")), 2 * LinesPerLoader);
    EXPECT_EQ(scalar(viewer, QStringLiteral("select count(distinct MsgID) as n from Tracking")),
              2 * LinesPerLoader);
    EXPECT_FALSE(QDir(first.trackingDir() + QStringLiteral("errors")).exists());
    EXPECT_FALSE(QDir(second.trackingDir() + QStringLiteral("errors")).exists());
    EXPECT_GT(tagged.size(), 2u);
    for (const QString &msgId : tagged) {
        DbStatement read(viewer, QStringLiteral("select QZDeliveryTime from Tracking where MsgID = :id"));
        read.bind(QStringLiteral("id"), ParamType::Text, msgId);
        EXPECT_EQ(deliveryStateOf(read.open().dateTime(0, QStringLiteral("QZDeliveryTime"))),
                  DeliveryState::Managed)
            << msgId.toStdString();
    }
}

// Two real loaders, each with its own tracking folder, on one database of the backend a test runs on.
class TwoLoaders : public NewDatabaseTest
{
protected:
    void SetUp() override
    {
        NewDatabaseTest::SetUp();
        if (IsSkipped())
            return;
        first = std::make_unique<LoaderProgram>(database->connectionString());
        second = std::make_unique<LoaderProgram>(database->connectionString());
        viewer.open(database->connectionString());
    }

    // Both services until their folders are empty, then stopped.
    void runUntilDone()
    {
        first->start({}, 1);
        second->start({}, 1);
        const bool done = LoaderProgram::waitFor(
            [&] { return first->waitingFiles() == 0 && second->waitingFiles() == 0; }, 60000);
        first->sendSignal(SIGTERM);
        second->sendSignal(SIGTERM);
        EXPECT_EQ(first->waitForExit(20000), std::optional<int>(0));
        EXPECT_EQ(second->waitForExit(20000), std::optional<int>(0));
        EXPECT_TRUE(done) << "files still waiting";
    }

    std::unique_ptr<LoaderProgram> first;
    std::unique_ptr<LoaderProgram> second;
    DbConnection viewer{folder.path()};
};

// Mended fault: each loader looked the message up, found none and inserted it, so a message came
// in twice, and the next update of it, finding two rows, sent its line to errors/.
TEST_P(TwoLoaders, TheSameMessagesInTwoFoldersMakeOneRowEach)
{
    constexpr int Messages = 400;
    QStringList lines;
    for (int n = 0; n < Messages; ++n)
        lines << newMessageLine(QStringLiteral("SAME-%1").arg(n));
    // The ids in two letter cases: the table takes them for one message.
    QStringList otherCase = lines;
    for (QString &line : otherCase)
        line.replace(QStringLiteral("SAME-"), QStringLiteral("same-"));
    // Every message twice in each folder, so that a second row would also fail the update after it.
    for (int file = 0; file < 2; ++file) {
        first->dropTracking(QStringLiteral("t%1.qzd").arg(file), file == 0 ? lines : otherCase);
        second->dropTracking(QStringLiteral("t%1.qzd").arg(file), file == 0 ? lines : otherCase);
    }
    runUntilDone();

    EXPECT_EQ(scalar(viewer, QStringLiteral("select count(*) as n from Tracking")), Messages);
    EXPECT_FALSE(QDir(first->trackingDir() + QStringLiteral("errors")).exists());
    EXPECT_FALSE(QDir(second->trackingDir() + QStringLiteral("errors")).exists());
}

std::vector<QByteArray> contentOf(DbConnection &db, const QString &msgId)
{
    DbStatement select(db, QStringLiteral("select HMData from HM_CONTENT where MsgID = :id"));
    select.bind(QStringLiteral("id"), ParamType::Text, msgId);
    const DbResult result = select.open();
    std::vector<QByteArray> stored;
    for (int row = 0; row < result.rowCount(); ++row)
        stored.push_back(db.dialect().longTextValue(result.value(row, QStringLiteral("HMData"))));
    return stored;
}

qint64 lockWaiters(DbConnection &db)
{
    return scalar(db, QStringLiteral("select count(*) as n from pg_stat_activity where datname = "
                                     "current_database() and wait_event_type = 'Lock'"));
}

// Mended fault: the loader that lost the race to create HM_CONTENT logged a failure and stored no
// content until it was restarted.
TEST_P(TwoLoaders, BothStartingOnADatabaseWithoutTheContentTableStoreTheirContent)
{
    if (backend() != Backend::PostgreSql)
        GTEST_SKIP() << "the race is held open with the server's catalogue locks";
    first->dropFile(QStringLiteral("C1.data"), "first content");
    second->dropFile(QStringLiteral("C2.data"), "second content");
    // The table, made and not yet committed, holds both loaders' creates until it is rolled back;
    // then one of them makes it while the other waits, and fails, on that one's catalogue row.
    DbConnection gate(folder.path());
    gate.open(database->connectionString());
    gate.beginTransaction();
    gate.execute(gate.dialect().createContentSql());
    first->start({QStringLiteral("/ONCE")}, 1);
    second->start({QStringLiteral("/ONCE")}, 1);
    EXPECT_TRUE(LoaderProgram::waitFor([&] { return lockWaiters(viewer) >= 2; }, 20000));
    gate.rollback();
    EXPECT_EQ(first->waitForExit(20000), std::optional<int>(0));
    EXPECT_EQ(second->waitForExit(20000), std::optional<int>(0));

    EXPECT_EQ(contentOf(viewer, QStringLiteral("C1")), std::vector<QByteArray>{"first content"});
    EXPECT_EQ(contentOf(viewer, QStringLiteral("C2")), std::vector<QByteArray>{"second content"});
    EXPECT_FALSE(first->log().contains(QStringLiteral("Could not create"))) << first->log().toStdString();
    EXPECT_FALSE(second->log().contains(QStringLiteral("Could not create"))) << second->log().toStdString();
    EXPECT_FALSE(second->log().contains(QStringLiteral("Error"))) << second->log().toStdString();
}

OVTRACK_ON_EVERY_BACKEND(TwoLoaders);

} // namespace
