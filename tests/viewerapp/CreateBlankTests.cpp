#include "viewer/app/HeadlessCreateBlank.h"
#include "viewer/app/ViewerRunValues.h"

#include "shared/tracking/DbConnection.h"
#include "shared/tracking/DbStatement.h"

#include "tests/viewerapp/HeadlessCommandTest.h"

#include <QFile>
#include <QTextStream>

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

TEST(CommandLine, CreateBlankRunsAlone)
{
    const ViewerCommandLine line = ViewerCommandLine::parse({"", "", "Provider=SQLite", "--create-blank"});
    EXPECT_TRUE(line.error.isEmpty());
    EXPECT_TRUE(line.createBlank);
    EXPECT_TRUE(line.isHeadless());
    EXPECT_EQ(line.positional.size(), 3);
    EXPECT_FALSE(ViewerCommandLine::parse({"--create-blank", "--export-csv", "o.csv"}).error.isEmpty());
    EXPECT_FALSE(ViewerCommandLine::parse({"--export-csv", "o.csv", "--create-blank"}).error.isEmpty());
}

class CreateBlank : public HeadlessCommandTest
{
protected:
    int run()
    {
        messages.clear();
        QTextStream errors(&messages);
        return createBlankTrackTable(values, errors);
    }
};

TEST_P(CreateBlank, MakesTheTableOnceThenReportsTheDatabasesMessage)
{
    ASSERT_EQ(run(), 0) << messages.toStdString();
    EXPECT_TRUE(messages.isEmpty());
    DbConnection check(folder.path());
    check.open(database->connectionString());
    DbStatement probe(check, check.dialect().tableExistsSql("Tracking"));
    EXPECT_EQ(probe.open().rowCount(), 1);
    DbStatement columns(check, check.dialect().columnExistsSql("Tracking", "StatusTime"));
    EXPECT_EQ(columns.open().rowCount(), 1);

    EXPECT_EQ(run(), 1);
    EXPECT_TRUE(messages.contains("already exists", Qt::CaseInsensitive)) << messages.toStdString();
}

TEST_P(CreateBlank, UnreachableDatabaseGivesOneAndItsMessage)
{
    values.DbConnectionString =
        backend() == Backend::PostgreSql
            ? "Provider=PostgreSQL;Data Source=" + folder.filePath("none") + ";User ID=ovtrack"
            : sqliteConnectionString(folder.filePath("none/tracking.db"));
    EXPECT_EQ(run(), 1);
    EXPECT_TRUE(messages.contains(folder.filePath("none"))) << messages.toStdString();
}

OVTRACK_ON_EVERY_BACKEND(CreateBlank);

// Mended fault: root's "--create-blank" left /var/lib/ovtrack/tracking.db root's own, read-only to
// the service that owns the folder.
TEST(CreateBlankAsRoot, DatabaseInAnotherUsersFolderGoesToThatUser)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "only root can make a file for another user";
    constexpr uid_t Service = 65534;
    TestFolder folder;
    const QString state = folder.makeFolder("state");
    ASSERT_EQ(::chown(QFile::encodeName(state).constData(), Service, Service), 0);
    ViewerRunValues values;
    values.AppPath = folder.path();
    values.DbConnectionString = sqliteConnectionString(state + "tracking.db");
    QString messages;
    QTextStream errors(&messages);
    ASSERT_EQ(createBlankTrackTable(values, errors), 0) << messages.toStdString();
    struct stat status;
    ASSERT_EQ(::stat(QFile::encodeName(state + "tracking.db").constData(), &status), 0);
    EXPECT_EQ(status.st_uid, Service);
    EXPECT_EQ(status.st_gid, Service);

    // Root's own folder keeps root's file.
    values.DbConnectionString = sqliteConnectionString(folder.filePath("own.db"));
    ASSERT_EQ(createBlankTrackTable(values, errors), 0) << messages.toStdString();
    ASSERT_EQ(::stat(QFile::encodeName(folder.filePath("own.db")).constData(), &status), 0);
    EXPECT_EQ(status.st_uid, 0u);
}

} // namespace
