#include "tests/reliability/CountQuery.h"
#include "tests/reliability/NewMessageLine.h"
#include "tests/service/LoaderProgram.h"
#include "tests/support/TestDatabase.h"

#include "shared/DbStatement.h"
#include "shared/TrackingSchema.h"
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

} // namespace
