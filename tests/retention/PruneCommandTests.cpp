#include "tests/retention/RetentionProgram.h"

#include "shared/config/DataLinkFile.h"
#include "shared/tracking/DbStatement.h"
#include "tests/support/PostgresServer.h"

#include <QFile>

#include <gtest/gtest.h>

namespace {

// The real program with settled, unsettled and recent rows, and content for some of them.
class PruneCommand : public RetentionProgramTest
{
protected:
    void SetUp() override
    {
        RetentionProgramTest::SetUp();
        if (IsSkipped())
            return;
        rows->createContentTable();
        const QDateTime now = QDateTime::currentDateTime();
        const QDateTime old = now.addDays(-40);
        rows->addRows("OLD", 1200, old, old.addSecs(60));
        rows->addRows("WAIT", 3, old, std::nullopt);
        rows->addRows("NEW", 4, now.addDays(-1), now.addDays(-1).addSecs(60));
        for (const char *id : {"OLD1", "OLD1200", "WAIT1", "NEW1", "EARLY"})
            rows->addContent(id);
    }

    void setRetainDays(const char *line)
    {
        QFile settings(loader->folder() + "settings.txt");
        ASSERT_TRUE(settings.open(QIODevice::Append));
        settings.write(QByteArray(line) + "\r\n");
    }
};

TEST_P(PruneCommand, DryRunPrintsWhatWouldGoAndChangesNothing)
{
    setRetainDays("retaindays=30");
    const LoaderProgram::Result result = loader->run({"/PRUNE", "/DRYRUN"});
    EXPECT_EQ(result.exitCode, 0) << result.standardError.toStdString();
    EXPECT_TRUE(result.standardOutput.contains(
        "Retention dry run: would delete 1200 tracking rows and 2 content rows"))
        << result.standardOutput.toStdString();
    EXPECT_EQ(rows->count("Tracking"), 1207);
    EXPECT_EQ(rows->count("HM_CONTENT"), 5);
    // Mended fault: the dry run ran the service's start-up, which makes indexes and the log.
    EXPECT_TRUE(result.standardOutput.endsWith("Dry run: nothing was created, altered or written.\n"))
        << result.standardOutput.toStdString();
    for (const char *index : {"IX_Tracking_MsgID", "IX_HM_CONTENT_MsgID"}) {
        DbStatement probe(*connection, connection->dialect().indexExistsSql(index));
        EXPECT_EQ(probe.open().rowCount(), 0) << index;
    }
    EXPECT_FALSE(QFile::exists(loader->folder() + "importtrack.log"));
}

TEST_P(PruneCommand, PruneDeletesPrintsTheCountsAndWritesOneServiceLevelLogLine)
{
    setRetainDays("retaindays=30");
    const LoaderProgram::Result result = loader->run({"-prune", "/logging", "1"});
    EXPECT_EQ(result.exitCode, 0) << result.standardError.toStdString();
    EXPECT_TRUE(result.standardOutput.contains("Retention: deleted 1200 tracking rows and 2 content rows"))
        << result.standardOutput.toStdString();
    EXPECT_EQ(rows->count("Tracking"), 7);
    EXPECT_EQ(rows->contentIds(), QStringList({"EARLY", "NEW1", "WAIT1"}));
    EXPECT_EQ(loader->log().count("(1): Retention: deleted 1200 tracking rows"), 1)
        << loader->log().toStdString();
}

TEST_P(PruneCommand, WithoutTheSettingEveryRowIsKept)
{
    setRetainDays("+retaindays=30");
    const LoaderProgram::Result result = loader->run({"/PRUNE"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_TRUE(result.standardOutput.contains("retaindays is not set"))
        << result.standardOutput.toStdString();
    EXPECT_EQ(rows->count("Tracking"), 1207);
}

TEST_P(PruneCommand, TheServiceRunsRetentionAtStartUp)
{
    setRetainDays("retaindays=30");
    const LoaderProgram::Result result = loader->run({"/ONCE", "/logging", "1"});
    EXPECT_EQ(result.exitCode, 0) << result.standardError.toStdString();
    EXPECT_EQ(rows->count("Tracking"), 7);
    EXPECT_EQ(loader->log().count("(1): Retention: deleted 1200 tracking rows and 2 content rows"), 1)
        << loader->log().toStdString();
}

// Mended fault: /PRUNE first created the content index and failed with "must be owner of table" for
// a role that may delete rows but does not own the tables.
TEST_P(PruneCommand, ARoleThatMayDeleteButDoesNotOwnTheTablesPrunesWithoutTheIndex)
{
    if (backend() != Backend::PostgreSql)
        GTEST_SKIP() << "roles are the server's";
    setRetainDays("retaindays=30");
    // Start-up's own indexes as the owner makes them, so that only retention's is missing.
    ASSERT_EQ(loader->run({"/PRUNE", "/DRYRUN"}).exitCode, 0);
    DbStatement databaseName(*connection, "select current_database() as n");
    const QString role = "pruner_" + databaseName.open().text(0, "n");
    connection->execute("CREATE ROLE " + role + " LOGIN");
    connection->execute("GRANT SELECT, DELETE ON Tracking, HM_CONTENT TO " + role);
    const QString asPruner = QString(serverDatabase->connectionString())
                                 .replace(QStringLiteral("User ID=") + PostgresServer::superuser(),
                                          QStringLiteral("User ID=") + role);
    writeDataLinkFile(loader->folder() + "qztrack.udl", asPruner);

    const LoaderProgram::Result result = loader->run({"/PRUNE", "/logging", "3"});
    connection->execute("DROP OWNED BY " + role);
    connection->execute("DROP ROLE " + role);

    EXPECT_EQ(result.exitCode, 0) << result.standardError.toStdString();
    EXPECT_TRUE(result.standardOutput.contains("Retention: deleted 1200 tracking rows and 2 content rows"))
        << result.standardOutput.toStdString();
    EXPECT_TRUE(result.standardError.contains("Retention: the index IX_HM_CONTENT_MsgID could not be created"))
        << result.standardError.toStdString();
    EXPECT_EQ(loader->log().count("(2): Retention: the index IX_HM_CONTENT_MsgID could not be created"), 1)
        << loader->log().toStdString();
    EXPECT_EQ(rows->contentIds(), QStringList({"EARLY", "NEW1", "WAIT1"}));
    DbStatement index(*connection, connection->dialect().indexExistsSql("IX_HM_CONTENT_MsgID"));
    EXPECT_TRUE(index.open().isEmpty());
}

OVTRACK_ON_EVERY_BACKEND(PruneCommand);

// Mended fault: /PRUNE without a connection printed the connection string, password included.
TEST(PruneWithoutConnection, StandardErrorAndLogShowThePasswordMasked)
{
    LoaderProgram loader;
    QFile settings(loader.folder() + "settings.txt");
    ASSERT_TRUE(settings.open(QIODevice::Append));
    settings.write("retaindays=30\r\ntrackingdbconnection=Provider=SQLite;Data Source=none.db;Password=Secret-1\r\n");
    settings.close();
    const LoaderProgram::Result result = loader.run({"/PRUNE", "/logging", "3"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(result.standardError.contains(
        "No database connection: Provider=SQLite;Data Source=none.db;Password=*****"))
        << result.standardError.toStdString();
    EXPECT_FALSE(result.standardError.contains("Secret")) << result.standardError.toStdString();
    EXPECT_TRUE(loader.log().contains("Password=*****")) << loader.log().toStdString();
    EXPECT_FALSE(loader.log().contains("Secret")) << loader.log().toStdString();
}

} // namespace
