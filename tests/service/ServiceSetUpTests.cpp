#include "tests/service/LoaderProgram.h"
#include "tools/sample-tracking/SampleTracking.h"

#include "shared/tracking/DbConnection.h"
#include "shared/tracking/DbStatement.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

namespace {

QString dropMessage(const LoaderProgram &loader, const QString &name, int number)
{
    SampleTracking samples;
    return loader.dropTracking(
        name, {SampleTracking::headerLine(), samples.newMessageLine(SampleTracking::messageId(number))});
}

bool hasTable(const QString &folder, const QString &database, const QString &table)
{
    DbConnection connection(folder);
    connection.open(sqliteConnectionString(database));
    DbStatement probe(connection, connection.dialect().tableExistsSql(table));
    return probe.open().rowCount() > 0;
}

qint64 trackingRows(const QString &folder, const QString &database)
{
    DbConnection connection(folder);
    connection.open(sqliteConnectionString(database));
    DbStatement count(connection, QStringLiteral("select count(*) as n from Tracking"));
    return count.open().integer(0, QStringLiteral("n")).value_or(-1);
}

// Mended fault: a loader-only install had no way to make its database; the viewer's command, run
// as root, made one the service could not write.
TEST(ServiceSetUp, CreateDbMakesTheDatabaseTheServiceThenImportsInto)
{
    LoaderProgram loader;
    const QString database = loader.folder() + QStringLiteral("tracking.db");
    ASSERT_TRUE(QFile::remove(database));

    const LoaderProgram::Result created = loader.run({QStringLiteral("/CREATEDB")});
    EXPECT_EQ(created.exitCode, 0) << created.standardError.toStdString();
    EXPECT_TRUE(created.standardOutput.startsWith(QStringLiteral("The tracking database is ready: ")))
        << created.standardOutput.toStdString();
    ASSERT_TRUE(QFileInfo::exists(database));
    EXPECT_TRUE(hasTable(loader.folder(), database, QStringLiteral("Tracking")));
    EXPECT_TRUE(hasTable(loader.folder(), database, QStringLiteral("HM_CONTENT")))
        << "the service's own start-up follows, content table included";
    EXPECT_TRUE(loader.log().contains(QStringLiteral("Creating the Tracking table")));

    // A second run finds everything there and changes nothing.
    const LoaderProgram::Result again = loader.run({QStringLiteral("-createdb")});
    EXPECT_EQ(again.exitCode, 0) << again.standardError.toStdString();
    EXPECT_EQ(loader.log().count(QStringLiteral("Creating the Tracking table")), 1);

    dropMessage(loader, QStringLiteral("first.qzd"), 1);
    EXPECT_EQ(loader.run({QStringLiteral("/ONCE")}).exitCode, 0);
    EXPECT_EQ(trackingRows(loader.folder(), database), 1);
}

TEST(ServiceSetUp, CreateDbWithoutAConnectionSaysWhyAndFails)
{
    LoaderProgram loader;
    QFile::remove(loader.folder() + QStringLiteral("qztrack.udl"));
    const LoaderProgram::Result result = loader.run({QStringLiteral("/CREATEDB")});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(result.standardError.startsWith(QStringLiteral("No database connection")))
        << result.standardError.toStdString();
}

// Mended fault: a pass whose every line failed to be written ("attempt to write a readonly
// database") ended with status 0, so a set-up script or cron job saw success.
TEST(ServiceSetUp, OncePassThatCouldNotWriteFails)
{
    LoaderProgram loader;
    {
        DbConnection connection(loader.folder());
        connection.open(sqliteConnectionString(loader.folder() + QStringLiteral("tracking.db")));
        connection.execute(
            QStringLiteral("create trigger refuse before insert on Tracking "
                           "begin select raise(abort, 'attempt to write a readonly database'); end"));
    }
    dropMessage(loader, QStringLiteral("refused.qzd"), 7);
    const LoaderProgram::Result result = loader.run({QStringLiteral("/ONCE")});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(result.standardError.contains(QStringLiteral("1 tracking files could not be written")))
        << result.standardError.toStdString();
    EXPECT_EQ(loader.rowCount(QStringLiteral("Tracking")), 0);
    EXPECT_TRUE(QFileInfo::exists(loader.trackingDir() + QStringLiteral("errors/refused.qzd")))
        << "the line is kept for an operator";
}

// Mended fault: "OVTrackSvc -h" started the service.
TEST(ServiceSetUp, UnknownSwitchPrintsTheUsageAndExitsWithTwo)
{
    LoaderProgram loader;
    for (const QStringList &arguments : {QStringList{QStringLiteral("-h")},
                                         QStringList{QStringLiteral("/ONCE"), QStringLiteral("/DRYRUNN")}}) {
        const LoaderProgram::Result result = loader.run(arguments);
        EXPECT_EQ(result.exitCode, 2) << arguments.join(u' ').toStdString();
        EXPECT_TRUE(
            result.standardError.startsWith(QStringLiteral("OVTrackSvc: unknown switch ") + arguments.last()))
            << result.standardError.toStdString();
        EXPECT_TRUE(result.standardError.contains(QStringLiteral("Usage: OVTrackSvc")));
        EXPECT_TRUE(result.standardOutput.isEmpty());
    }
    EXPECT_FALSE(QFileInfo::exists(loader.folder() + QStringLiteral("importtrack.log"))) << "nothing ran";
    // A value of /logging is no switch, even a negative one.
    EXPECT_EQ(
        loader.run({QStringLiteral("/ONCE"), QStringLiteral("/logging"), QStringLiteral("-1")}).exitCode, 0);
}

// Mended fault: a log the service could not open (a root-owned one, here a folder in its place)
// left the service logging nothing, without a word.
TEST(ServiceSetUp, LogThatCannotBeOpenedIsReportedOnStandardError)
{
    LoaderProgram loader;
    ASSERT_TRUE(QDir().mkpath(loader.folder() + QStringLiteral("importtrack.log")));
    const LoaderProgram::Result result = loader.run({QStringLiteral("/ONCE")});
    EXPECT_EQ(result.exitCode, 0) << result.standardError.toStdString();
    EXPECT_TRUE(result.standardError.startsWith(QStringLiteral("Cannot open the log file ") +
                                                loader.folder() + QStringLiteral("importtrack.log: ")))
        << result.standardError.toStdString();
}

// The order of day, month and year follows the service's locale unless settings.txt names one: the
// log says which is in force.
TEST(ServiceSetUp, StartUpLogsTheDateOrderInForce)
{
    LoaderProgram loader;
    QFile settings(loader.folder() + QStringLiteral("settings.txt"));
    ASSERT_TRUE(settings.open(QIODevice::Append));
    settings.write("shortdateformat=MM/dd/yyyy\r\n");
    settings.close();
    ASSERT_EQ(loader.run({QStringLiteral("/ONCE")}).exitCode, 0);
    EXPECT_TRUE(
        loader.log().contains(QStringLiteral("(1): Tracking dates are read as MM/dd/yyyy (shortdateformat)")))
        << loader.log().toStdString();
}

} // namespace
