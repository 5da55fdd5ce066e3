#include "shared/config/SettingsFile.h"

#include "tests/support/TestFolder.h"

#include <gtest/gtest.h>

namespace {

LoaderSettings parsed(const QStringList &lines, QStringList *errors = nullptr)
{
    LoaderSettings settings;
    settings.connectionString = QStringLiteral("File name=/opt/ovtrack/qztrack.udl");
    applyLoaderSettingsLines(settings, lines, [errors](int line, const QString &error) {
        if (errors)
            *errors << QStringLiteral("%1: %2").arg(line).arg(error);
    });
    return settings;
}

TEST(LoaderSettingsTest, TrackingFolderTrimmedWithSeparator)
{
    EXPECT_EQ(parsed({"  summarydestination  =  /data/track  "}).trackingDir, "/data/track/");
    EXPECT_EQ(parsed({"summarydestination=/data/track/"}).trackingDir, "/data/track/");
    EXPECT_EQ(parsed({"SummaryDestination=/a", "summarydestination=/b"}).trackingDir, "/b/");
    // The key is found anywhere in a line that is not a comment.
    EXPECT_EQ(parsed({"oldsummarydestination=/old"}).trackingDir, "/old/");
    EXPECT_EQ(parsed({"summary destination = /spaced"}).trackingDir, "/spaced/");
}

TEST(LoaderSettingsTest, CommentsAreSkipped)
{
    for (const char *line : {"+summarydestination=/x", "!summarydestination=/x", "*summarydestination=/x",
                                "- summarydestination=/x", " \t-summarydestination=/x"})
        EXPECT_EQ(parsed({QString::fromLatin1(line)}).trackingDir, "") << line;
}

TEST(LoaderSettingsTest, ConnectionStringKeepsItsOwnEqualsAndDefault)
{
    const QString full = "Provider=SQLOLEDB.1;Data Source=srv;Initial Catalog=QZ2Tracking";
    EXPECT_EQ(parsed({"trackingdbconnection=" + full}).connectionString, full);
    EXPECT_EQ(parsed({"trackingdbconnection=[DeFault]"}).connectionString, "File name=/opt/ovtrack/qztrack.udl");
    EXPECT_EQ(parsed({"+trackingdbconnection=Provider=SQLite;Data Source=x"}).connectionString,
              "File name=/opt/ovtrack/qztrack.udl");
}

TEST(LoaderSettingsTest, DataLinkPathBecomesFileReference)
{
    EXPECT_EQ(completeConnectionString("/etc/conn/other.udl"), "File name=/etc/conn/other.udl");
    EXPECT_EQ(completeConnectionString("File name=/etc/conn/other.udl"), "File name=/etc/conn/other.udl");
    EXPECT_EQ(completeConnectionString("FILENAME=/x.UDL"), "FILENAME=/x.UDL");
    EXPECT_EQ(completeConnectionString("Provider=SQLite;Data Source=t.db"), "Provider=SQLite;Data Source=t.db");
}

TEST(LoaderSettingsTest, StoreSwitchLooksForTheLetterY)
{
    EXPECT_TRUE(parsed({"qztrackstorehm=Y"}).storeHM);
    EXPECT_TRUE(parsed({"qztrackstorehm=yes"}).storeHM);
    EXPECT_FALSE(parsed({"qztrackstorehm=true"}).storeHM);
    EXPECT_FALSE(parsed({"qztrackstorehm=No"}).storeHM);
    EXPECT_TRUE(parsed({"qztrackstorehm=No", "qztrackstorehm=Yes"}).storeHM);
}

TEST(LoaderSettingsTest, ExtensionsSplitExactly)
{
    EXPECT_EQ(parsed({"qztrackfileextns=.qzd;.txt"}).trackFileExtensions, (QStringList{".qzd", ".txt"}));
    EXPECT_EQ(parsed({"qztrackfileextns=.qzd;;.txt"}).trackFileExtensions, (QStringList{".qzd", "", ".txt"}));
    EXPECT_EQ(parsed({"qztrackfileextns=.qzd;"}).trackFileExtensions, (QStringList{".qzd"}));
    EXPECT_EQ(parsed({}).trackFileExtensions, (QStringList{".qzd", ".csv"}));
    EXPECT_EQ(parsed({"shortdateformat = d/MM/yyyy"}).shortDateFormat, "d/MM/yyyy");
    EXPECT_EQ(parsed({"shortdateformat"}).shortDateFormat, "");
}

TEST(DefaultSettingsTest, ThirteenLinesReadBackAsTheDefaults)
{
    TestFolder folder;
    const QString path = folder.filePath("settings.txt");
    WriteDefaultSettings(path, "dd/MM/yyyy");
    const QByteArray bytes = folder.readFile("settings.txt");
    EXPECT_EQ(bytes, QByteArray("summarydestination=/var/lib/orvane/tracking/\r\n"
                                "+trackingdbconnection=[default]\r\n"
                                "qztrackstorehm=Yes\r\n"
                                "+shortdateformat=dd/MM/yyyy\r\n"
                                "+qztrackfileextns=.qzd;.csv\r\n"
                                "+++ Note: To Add Logging, in the Service Properties use the switch \r\n"
                                "+++ /logging <loggingLevel> \r\n"
                                "+++ By logical ORing the values below you can log different events\r\n"
                                "+++   1 - Service Level\r\n"
                                "+++   2 - Errors and trapped exceptions\r\n"
                                "+++   4 - Delivery Notifications\r\n"
                                "+++   8 - Delivery Receipts\r\n"
                                "+++ Note Levels 4 and 8 are Verbose.\r\n"));

    QStringList errors;
    LoaderSettings settings = parsed(readSettingsLines(path), &errors);
    EXPECT_TRUE(errors.isEmpty());
    EXPECT_EQ(settings.trackingDir, "/var/lib/orvane/tracking/");
    EXPECT_TRUE(settings.storeHM);
    EXPECT_EQ(settings.connectionString, "File name=/opt/ovtrack/qztrack.udl");
    EXPECT_EQ(settings.shortDateFormat, "");
    EXPECT_EQ(settings.trackFileExtensions, (QStringList{".qzd", ".csv"}));
}

TEST(DefaultSettingsTest, UnwritableOrUnreadableFileIsAnError)
{
    TestFolder folder;
    EXPECT_THROW(WriteDefaultSettings(folder.filePath("missing/sub/settings.txt"), "d/M/yy"), std::runtime_error);
    EXPECT_THROW(readSettingsLines(folder.filePath("absent.txt")), std::runtime_error);
}

TEST(ViewerSettingsTest, KeyMustBeExactlyUserpathOrImportpath)
{
    EXPECT_EQ(parseViewerSettings({"userpath=/home/x"}).userPath, "/home/x/");
    EXPECT_EQ(parseViewerSettings({"USERPATH = /home/x"}).userPath, "/home/x/");
    EXPECT_EQ(parseViewerSettings({"myuserpath=/home/x"}).userPath, "");
    EXPECT_EQ(parseViewerSettings({"+userpath=/home/x"}).userPath, "");
    const ViewerSettings both = parseViewerSettings({"importpath=/in", "userpath=/u/"});
    EXPECT_EQ(both.importPath, "/in/");
    EXPECT_EQ(both.userPath, "/u/");
}

TEST(ViewerSettingsTest, Windows1252FileIsRead)
{
    TestFolder folder;
    const QString path = folder.writeFile("settings.txt", "userpath=/home/J\xF6rg\r\nimportpath=/in\r");
    const ViewerSettings settings = parseViewerSettings(readSettingsLines(path));
    EXPECT_EQ(settings.userPath, QString::fromUtf8("/home/Jörg/"));
    EXPECT_EQ(settings.importPath, "/in/");
}

} // namespace

TEST(LoaderSettingsTest, FilePauseIsWholeMillisecondsOrKeepsThePauseThereWas)
{
    EXPECT_EQ(parsed({}).filePause, 100);
    EXPECT_EQ(parsed({"filepause=0"}).filePause, 0);
    EXPECT_EQ(parsed({" FilePause = 250 "}).filePause, 250);
    EXPECT_EQ(parsed({"+filepause=0"}).filePause, 100);
    EXPECT_EQ(parsed({"filepause=0", "filepause=30"}).filePause, 30);

    for (const char *bad : {"filepause=fast", "filepause=", "filepause", "filepause=-5", "filepause=1.5",
                            "filepause=99999999999"}) {
        QStringList errors;
        EXPECT_EQ(parsed({"filepause=40", bad}, &errors).filePause, 40) << bad;
        ASSERT_EQ(errors.size(), 1) << bad;
        EXPECT_TRUE(errors.first().startsWith("2: filepause \"")) << errors.first().toStdString();
        EXPECT_TRUE(errors.first().endsWith("is not a number of milliseconds; the pause stays 40 ms."))
            << errors.first().toStdString();
    }
}
