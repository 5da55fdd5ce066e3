#include "tests/reliability/NewMessageLine.h"
#include "tests/service/LoaderProgram.h"
#include "tests/support/PostgresServer.h"

#include "shared/tracking/DbStatement.h"
#include "viewer/search/TrackResultModel.h"
#include "viewer/search/TrackSearch.h"

#include <QDir>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <signal.h>

// The server database stopped in the middle of a pass and started again 20 seconds later, on a
// server of the test's own: the loader carries on by itself and the viewer works again.
namespace {

TEST(PostgresOutage, ServerStoppedMidPassAndBackAfter20SecondsLosesAndDoublesNothing)
{
    const QString missing = PostgresServer::unavailableReason();
    if (!missing.isEmpty())
        GTEST_SKIP() << missing.toStdString();
    QTemporaryDir folder(QStringLiteral("/tmp/ovpgout-XXXXXX"));
    PostgresServer server(folder.path());
    QString error;
    ASSERT_TRUE(server.start(&error)) << error.toStdString();
    {
        DbConnection admin(QStringLiteral("/"));
        admin.open(server.connectionString(QStringLiteral("postgres")));
        admin.execute(QStringLiteral("CREATE DATABASE outage"));
    }
    const QString connection = server.connectionString(QStringLiteral("outage"));
    LoaderProgram loader(connection);
    constexpr int Files = 40, PerFile = 500;
    for (int file = 0; file < Files; ++file) {
        QStringList lines;
        for (int n = 0; n < PerFile; ++n)
            lines << newMessageLine(QStringLiteral("M%1").arg(file * PerFile + n));
        loader.dropTracking(QStringLiteral("t%1.qzd").arg(file, 2, 10, QChar(u'0')), lines);
    }
    DbConnection viewer(QStringLiteral("/"));
    viewer.open(connection);
    TrackResultModel model;
    TrackSearch search(viewer, model);
    SearchCriteria criteria = SearchCriteria::atStartup(QDate::currentDate());
    criteria.requestIdChecked = true;
    criteria.requestText = QStringLiteral("LAB");
    ASSERT_EQ(search.RunTrackQuery(criteria, QStringLiteral("MsgID"), QDateTime::currentDateTime()).outcome,
              TrackSearch::Outcome::Opened);

    loader.start({QStringLiteral("/logging"), QStringLiteral("3")}, 10);
    ASSERT_TRUE(LoaderProgram::waitFor([&] { return loader.waitingFiles() < Files - 2; }, 60000));
    server.stop();
    const TrackSearch::Result away =
        search.RunTrackQuery(criteria, QStringLiteral("MsgID"), QDateTime::currentDateTime());
    EXPECT_EQ(away.outcome, TrackSearch::Outcome::OpenFailed);
    EXPECT_FALSE(away.error.isEmpty());
    QThread::sleep(20);
    ASSERT_TRUE(server.start(&error)) << error.toStdString();

    EXPECT_EQ(search.RunTrackQuery(criteria, QStringLiteral("MsgID"), QDateTime::currentDateTime()).outcome,
              TrackSearch::Outcome::Opened);
    const bool done = LoaderProgram::waitFor([&] { return loader.waitingFiles() == 0; }, 120000);
    loader.sendSignal(SIGTERM);
    EXPECT_EQ(loader.waitForExit(20000), std::optional<int>(0));
    EXPECT_TRUE(done) << loader.log().right(2000).toStdString();
    EXPECT_FALSE(QDir(loader.trackingDir() + QStringLiteral("errors")).exists());
    DbStatement count(viewer,
                      QStringLiteral("select count(*) as n, count(distinct MsgID) as d from Tracking"));
    const DbResult result = count.open();
    EXPECT_EQ(result.integer(0, QStringLiteral("n")), Files * PerFile);
    EXPECT_EQ(result.integer(0, QStringLiteral("d")), Files * PerFile);
    EXPECT_TRUE(loader.log().contains(QStringLiteral("(1): Database connection lost at")))
        << "no pass was cut";
    viewer.close();
    server.stop();
}

} // namespace
