#include "viewer/app/HeadlessCreateBlank.h"
#include "viewer/app/ViewerRunValues.h"

#include "shared/DbConnection.h"
#include "shared/DbStatement.h"

#include "tests/viewerapp/HeadlessCommandTest.h"

#include <QTextStream>

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

} // namespace
