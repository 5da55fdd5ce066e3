#include "shared/config/DataLinkFile.h"
#include "viewer/app/ViewerRunValues.h"

#include "tests/support/TestFolder.h"

#include <gtest/gtest.h>

namespace {

// Mended fault: with TMP and TEMP unset, content went into the program folder (a package's
// /usr/lib/ovtrack, which the user cannot write, and no place for patients' results).
TEST(RunValues, TempPathFromTmpThenTempThenTmpdirThenSlashTmpNeverTheProgramFolder)
{
    TestFolder app;
    EXPECT_EQ(ViewerRunValues::read(app.path(), {}, "/t1", "/t2", "/t3").TempPath, "/t1/");
    EXPECT_EQ(ViewerRunValues::read(app.path(), {}, "", "/t2/", "/t3").TempPath, "/t2/");
    EXPECT_EQ(ViewerRunValues::read(app.path(), {}, "", "", "/t3").TempPath, "/t3/");
    EXPECT_EQ(ViewerRunValues::read(app.path(), {}, "", "", "").TempPath, "/tmp/");
}

TEST(RunValues, SettingsKeysIgnoreBlanksAndCaseAndValuesKeepInnerBlanks)
{
    TestFolder app;
    app.writeFile("settings.txt", "USER PATH =  /srv/my mail \r\n+importpath=/ignored\r\nimportpath=/imp\r\n"
                                  "other=1\r\n");
    const ViewerRunValues values = ViewerRunValues::read(app.path(), {}, "", "");
    EXPECT_EQ(values.UserPath, "/srv/my mail/");
    EXPECT_EQ(values.ImportPath, "/imp/");
    EXPECT_EQ(values.DbConnectionString, "");
}

TEST(RunValues, CommandLineOverridesSettingsAndConnectionFile)
{
    TestFolder app;
    app.writeFile("settings.txt", "userpath=/from/settings\r\n");
    writeDataLinkFile(app.filePath("qztrack.udl"), "Provider=SQLite;Data Source=a.db");
    EXPECT_EQ(ViewerRunValues::read(app.path(), {}, "", "").DbConnectionString,
              "File name=" + app.filePath("qztrack.udl"));
    const ViewerRunValues values =
        ViewerRunValues::read(app.path(), {"/mail", "", "Provider=SQLite;Data Source=b.db"}, "", "");
    EXPECT_EQ(values.UserPath, "/mail/");
    EXPECT_EQ(values.ImportPath, "");
    EXPECT_EQ(values.DbConnectionString, "Provider=SQLite;Data Source=b.db");
}

TEST(RunValues, UnreadableSettingsFileIsIgnored)
{
    TestFolder app;
    app.makeFolder("settings.txt"); // a folder where the file should be
    EXPECT_NO_THROW(ViewerRunValues::read(app.path(), {"/u"}, "", ""));
    EXPECT_EQ(ViewerRunValues::read(app.path(), {"/u"}, "", "").UserPath, "/u/");
}

TEST(CommandLine, PositionalArgumentsAndTheExportSwitch)
{
    const ViewerCommandLine plain = ViewerCommandLine::parse({"/mail", "/import"});
    EXPECT_EQ(plain.positional, (QStringList{"/mail", "/import"}));
    EXPECT_FALSE(plain.isHeadless());

    const ViewerCommandLine exporting =
        ViewerCommandLine::parse({"", "", "Provider=SQLite", "--export-csv", "o.csv"});
    EXPECT_EQ(exporting.positional, (QStringList{"", "", "Provider=SQLite"}));
    EXPECT_EQ(exporting.exportCsvPath, "o.csv");
    EXPECT_TRUE(exporting.isHeadless());

    EXPECT_FALSE(ViewerCommandLine::parse({"--export-csv"}).error.isEmpty());
    EXPECT_FALSE(ViewerCommandLine::parse({"--report"}).error.isEmpty());
}

} // namespace
