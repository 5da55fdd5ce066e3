#include "tests/loader/LoaderFixture.h"

#include "shared/config/DataLinkFile.h"
#include "shared/db/DbError.h"

namespace {

class LoaderStartupTest : public LoaderBackendFixture
{
protected:
    void writeDataLink()
    {
        writeDataLinkFile(folder().filePath(QStringLiteral("qztrack.udl")), connectionString());
    }

    void writeSettings(const QStringList &lines)
    {
        folder().writeFile(QStringLiteral("settings.txt"),
                           (lines.join(QStringLiteral("\r\n")) + "\r\n").toUtf8());
    }

    void writeUsualSettings()
    {
        writeSettings({QStringLiteral("summarydestination=") + trackingDir(),
                       QStringLiteral("trackingdbconnection=") + connectionString(),
                       QStringLiteral("qztrackstorehm=no")});
    }

    int columnWidth(const QString &table, const QString &column)
    {
        const DbResult r = query(SqlDialect::create(backend())->columnMaxLengthSql(table, column));
        return static_cast<int>(r.integer(0, QStringLiteral("MaxLength")).value_or(-1));
    }

    bool hasColumn(const QString &column)
    {
        return query(SqlDialect::create(backend())->columnExistsSql(QStringLiteral("Tracking"), column))
                   .rowCount() == 1;
    }

    int searchIndexCount()
    {
        int count = 0;
        for (const char *column :
             {"MsgID", "Patient", "PracID", "LabId", "QZServerReceiveTime", "QZDeliveryTime", "StatusTime"})
            count +=
                query(SqlDialect::create(backend())->indexExistsSql(QStringLiteral("IX_Tracking_") + column))
                    .rowCount();
        return count;
    }

    void startLoader()
    {
        makeLoader({QStringLiteral("svcOVTrack"), QStringLiteral("/logging"), QStringLiteral("3")});
        loader().InitialzeSettings();
    }
};

// A Tracking table of before the run number, status and status time, with MsgID `msgIdWidth` wide.
QString oldTrackingSql(int msgIdWidth, bool withAddedColumns)
{
    QString sql =
        QStringLiteral(
            "CREATE TABLE Tracking (MsgID varchar(%1), Sender varchar(240), Filename varchar(240), "
            "QZServerReceiveTime timestamp, QZDeliveryTime timestamp, PracID varchar(240), FileType "
            "varchar(240), "
            "LabId varchar(240), RequestDate timestamp, AddresseeDoc varchar(240), RequestingDoc "
            "varchar(240), "
            "Patient varchar(240), PatientGiven varchar(240), PatientAddress varchar(240), PatientDOB "
            "timestamp, "
            "DocsPTRef varchar(240), Test varchar(240), CollectTime varchar(240), ReportTime varchar(240)")
            .arg(msgIdWidth);
    if (withAddedColumns)
        sql += QStringLiteral(", RunNumber varchar(240), ReadStatus int, StatusTime timestamp");
    return sql + u')';
}

TEST_P(LoaderStartupTest, FirstStartInAnEmptyFolderWritesDefaultsAndCreatesTheContentTable)
{
    sql(SqlDialect::create(backend())->createTrackingSql());
    writeDataLink();
    startLoader();
    TsvcOVTrack &l = loader();

    ASSERT_TRUE(folder().exists(QStringLiteral("settings.txt")));
    EXPECT_TRUE(folder()
                    .readFile(QStringLiteral("settings.txt"))
                    .startsWith("summarydestination=/var/lib/orvane/tracking/\r\n"));
    EXPECT_EQ(l.TrackingDir, QStringLiteral("/var/lib/orvane/tracking/"));
    EXPECT_TRUE(l.StoreHM);
    EXPECT_FALSE(l.ProcessingHalted);
    EXPECT_EQ(l.ConnectionString,
              QStringLiteral("File name=") + folder().filePath(QStringLiteral("qztrack.udl")));
    EXPECT_EQ(query(SqlDialect::create(backend())->tableExistsSql(QStringLiteral("HM_CONTENT"))).rowCount(),
              1);

    const QString log = logText();
    for (const char *expected :
         {"(1): Assigned the Connection using file: ", "(2): Setting values from settings file.",
          "(1): Tracking Directory is /var/lib/orvane/tracking/", "(1): Connected to DB OK.",
          "(1): finished setting values values from settings file.", "(1): Store HM is on",
          "(2): Attempting to create Content Table",
          "(1): Creating index IX_Tracking_MsgID on Tracking(MsgID)"})
        EXPECT_TRUE(log.contains(QLatin1String(expected))) << expected;
    EXPECT_FALSE(log.contains(QStringLiteral("Updating Field Widths...")));
}

TEST_P(LoaderStartupTest, AnOldTrackingTableGetsTheThreeColumnsOnce)
{
    sql(oldTrackingSql(100, false));
    sql(QStringLiteral("INSERT INTO Tracking (MsgID, Patient) VALUES ('M1', 'Smith')"));
    writeUsualSettings();
    startLoader();
    EXPECT_TRUE(hasColumn(QStringLiteral("RunNumber")));
    EXPECT_TRUE(hasColumn(QStringLiteral("ReadStatus")));
    EXPECT_TRUE(hasColumn(QStringLiteral("StatusTime")));
    QString log = logText();
    EXPECT_TRUE(log.contains(QStringLiteral("(1): Updating Tracking Table, Adding RunNumber Column")));
    EXPECT_TRUE(log.contains(QStringLiteral("(1): Updating Tracking Table, Adding StatusTime Column")));
    EXPECT_FALSE(log.contains(QStringLiteral("Error: ")));
    EXPECT_EQ(query(QStringLiteral("select Patient from Tracking where MsgID = 'M1'"))
                  .text(0, QStringLiteral("Patient")),
              QStringLiteral("Smith"));

    folder().writeFile(QStringLiteral("importtrack.log"), {});
    startLoader();
    log = logText();
    EXPECT_FALSE(log.contains(QStringLiteral("Adding")));
    EXPECT_FALSE(log.contains(QStringLiteral("Creating index")));
}

TEST_P(LoaderStartupTest, ANarrowMessageIdRunsTheWidthBatchOnceAndKeepsTheRows)
{
    sql(oldTrackingSql(50, true));
    sql(QStringLiteral("CREATE TABLE HM_CONTENT (MsgID varchar(50), HMData text)"));
    sql(QStringLiteral("INSERT INTO Tracking (MsgID, FileType, Patient) VALUES ('M1', 'HL7', 'Smith')"));
    sql(QStringLiteral("INSERT INTO HM_CONTENT (MsgID, HMData) VALUES ('M1', 'content')"));
    writeUsualSettings();
    startLoader();
    EXPECT_EQ(columnWidth(QStringLiteral("Tracking"), QStringLiteral("MsgID")), 100);
    EXPECT_EQ(columnWidth(QStringLiteral("Tracking"), QStringLiteral("FileType")), 50);
    EXPECT_EQ(columnWidth(QStringLiteral("Tracking"), QStringLiteral("Patient")), 240);
    EXPECT_EQ(columnWidth(QStringLiteral("HM_CONTENT"), QStringLiteral("MsgID")), 100);
    EXPECT_EQ(query(QStringLiteral("select FileType from Tracking where MsgID = 'M1'")).rowCount(), 1);
    // The altered columns keep the production database's case rules.
    EXPECT_EQ(query(QStringLiteral("select MsgID from Tracking where Patient = 'SMITH'")).rowCount(), 1);
    EXPECT_EQ(query(QStringLiteral("select HMData from HM_CONTENT where MsgID = 'm1'")).rowCount(), 1);
    // HM_CONTENT's MsgID is not null afterwards, as on SQL Server.
    EXPECT_THROW(sql(QStringLiteral("INSERT INTO HM_CONTENT (MsgID, HMData) VALUES (NULL, 'x')")), DbError);
    const QString log = logText();
    EXPECT_TRUE(log.contains(QStringLiteral("(2): Updating Field Widths...")));
    EXPECT_FALSE(log.contains(QStringLiteral("Error")));
    // The rebuilt table gets its indexes after the widths.
    EXPECT_EQ(searchIndexCount(), 7);

    folder().writeFile(QStringLiteral("importtrack.log"), {});
    startLoader();
    EXPECT_FALSE(logText().contains(QStringLiteral("Updating Field Widths...")));
}

// Mended fault: the widths were one batch, so one FileType longer than 50 failed every column at
// every start.
TEST_P(LoaderStartupTest, AFileTypeTooLongForFiftyKeepsItsWidthWhileTheOtherColumnsAreUpgraded)
{
    sql(oldTrackingSql(50, true));
    const QString longType(60, u'T');
    sql(QStringLiteral("INSERT INTO Tracking (MsgID, FileType) VALUES ('M1', '%1'), ('M2', 'HL7')").arg(longType));
    writeUsualSettings();
    startLoader();
    EXPECT_EQ(columnWidth(QStringLiteral("Tracking"), QStringLiteral("MsgID")), 100);
    EXPECT_EQ(columnWidth(QStringLiteral("Tracking"), QStringLiteral("FileType")), 240);
    EXPECT_EQ(columnWidth(QStringLiteral("Tracking"), QStringLiteral("Sender")), 240);
    EXPECT_EQ(query(QStringLiteral("select FileType from Tracking where MsgID = 'M1'")).text(0, QStringLiteral("FileType")),
              longType);
    const QString log = logText();
    EXPECT_EQ(log.count(QStringLiteral("FileType")), 1) << log.toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral(
        "(2): Field width of Tracking.FileType kept at 240: its longest value has 60 characters, more than 50.")))
        << log.toStdString();
    EXPECT_FALSE(log.contains(QStringLiteral("Error")));

    folder().writeFile(QStringLiteral("importtrack.log"), {});
    startLoader();
    EXPECT_FALSE(logText().contains(QStringLiteral("Field")));
}

TEST_P(LoaderStartupTest, UnreadableSettingsFileEndsTheProcessWithCodeOne)
{
    sql(SqlDialect::create(backend())->createTrackingSql());
    folder().makeFolder(QStringLiteral("settings.txt"));
    makeLoader();
    try {
        loader().InitialzeSettings();
        FAIL() << "start-up went on";
    } catch (const SettingsUnreadable &e) {
        EXPECT_EQ(e.exitCode, 1);
    }
    const QString log = logText();
    EXPECT_TRUE(log.contains(QStringLiteral("(1): Error encountered reading the Settings file. ")));
    EXPECT_TRUE(log.contains(QStringLiteral("\r\nService will halt.\r\n")));
    EXPECT_FALSE(log.contains(QStringLiteral("Setting values from settings file.")));
}

TEST_P(LoaderStartupTest, NoConnectionAnywhereHaltsAndTheFirstSchemaCheckFails)
{
    writeSettings({QStringLiteral("summarydestination=") + trackingDir()});
    makeLoader({QStringLiteral("svcOVTrack"), QStringLiteral("/logging"), QStringLiteral("3")});
    EXPECT_THROW(loader().InitialzeSettings(), DbError);
    EXPECT_TRUE(loader().ProcessingHalted);
    const QString log = logText();
    EXPECT_TRUE(log.contains(QStringLiteral("(1): Connection file ") +
                             folder().filePath(QStringLiteral("qztrack.udl")) +
                             QStringLiteral("does not exist")));
    EXPECT_TRUE(log.contains(QStringLiteral("(1): Connection String is missing")));
    EXPECT_TRUE(log.contains(QStringLiteral("(1): finished setting values values from settings file.")));
}

TEST_P(LoaderStartupTest, NoTrackingDirectoryPausesButStartsUp)
{
    sql(SqlDialect::create(backend())->createTrackingSql());
    writeSettings({QStringLiteral("trackingdbconnection=") + connectionString()});
    startLoader();
    EXPECT_TRUE(loader().ProcessingHalted);
    EXPECT_TRUE(loader().TrackingDir.isEmpty());
    EXPECT_TRUE(logText().contains(QStringLiteral("(1): Tracking Directory not indicated: PAUSED")));
}

TEST_P(LoaderStartupTest, SummariesFolderIsAssumedWhenNoneIsGiven)
{
    sql(SqlDialect::create(backend())->createTrackingSql());
    folder().makeFolder(QStringLiteral("summaries"));
    writeSettings({QStringLiteral("trackingdbconnection=") + connectionString()});
    startLoader();
    EXPECT_EQ(loader().TrackingDir, folder().path() + QStringLiteral("summaries/"));
    EXPECT_TRUE(logText().contains(QStringLiteral("(1): Tracking Directory not indicated, assumed ") +
                                   folder().path() + QStringLiteral("summaries/")));
}

TEST_P(LoaderStartupTest, FilePauseComesFromTheSettingsAndABadValueIsLogged)
{
    sql(SqlDialect::create(backend())->createTrackingSql());
    writeSettings({QStringLiteral("summarydestination=") + trackingDir(),
                   QStringLiteral("trackingdbconnection=") + connectionString(),
                   QStringLiteral("filepause=0")});
    startLoader();
    EXPECT_EQ(loader().FilePause, 0);
    EXPECT_FALSE(logText().contains(QStringLiteral("Error occurred")));

    folder().writeFile(QStringLiteral("importtrack.log"), {});
    writeSettings({QStringLiteral("summarydestination=") + trackingDir(),
                   QStringLiteral("trackingdbconnection=") + connectionString(),
                   QStringLiteral("filepause=soon")});
    startLoader();
    EXPECT_EQ(loader().FilePause, 100);
    EXPECT_TRUE(logText().contains(QStringLiteral("(1): Error occurred setting a value on line 3\r\n"
                                                  "filepause \"soon\" is not a number of milliseconds; the "
                                                  "pause stays 100 ms.")));
}

TEST_P(LoaderStartupTest, FailedConnectionIsLoggedWithItsString)
{
    writeSettings({QStringLiteral("summarydestination=") + trackingDir(),
                   QStringLiteral("trackingdbconnection=Provider=Nonsense;Data Source=x")});
    makeLoader({QStringLiteral("svcOVTrack"), QStringLiteral("/logging"), QStringLiteral("3")});
    EXPECT_THROW(loader().InitialzeSettings(), DbError);
    EXPECT_TRUE(loader().ProcessingHalted);
    EXPECT_TRUE(
        logText().contains(QStringLiteral("; Connections string was \r\nProvider=Nonsense;Data Source=x")));
}

// Mended fault: the log (a file anyone on the machine may read) showed the password.
TEST_P(LoaderStartupTest, FailedConnectionLogsItsStringWithThePasswordMasked)
{
    writeSettings({QStringLiteral("summarydestination=") + trackingDir(),
                   QStringLiteral("trackingdbconnection=Provider=SQLite;Data Source=") + folder().filePath("none.db") +
                       QStringLiteral(";User ID=ov;Password=Secret-1;pwd=Secret-2")});
    makeLoader({QStringLiteral("svcOVTrack"), QStringLiteral("/logging"), QStringLiteral("3")});
    EXPECT_THROW(loader().InitialzeSettings(), DbError);
    const QString log = logText();
    EXPECT_TRUE(log.contains(QStringLiteral("; Connections string was \r\nProvider=SQLite;Data Source=") +
                             folder().filePath("none.db") + QStringLiteral(";User ID=ov;Password=*****;pwd=*****")))
        << log.toStdString();
    EXPECT_FALSE(log.contains(QStringLiteral("Secret"))) << log.toStdString();
}

TEST_P(LoaderStartupTest, SchemaChecksAnswerFromTheCatalogue)
{
    sql(SqlDialect::create(backend())->createTrackingSql());
    TsvcOVTrack &l = loader();
    l.adoConn1.open(connectionString());
    EXPECT_TRUE(l.TableExists(QStringLiteral("Tracking")));
    EXPECT_FALSE(l.TableExists(QStringLiteral("Nothing")));
    EXPECT_FALSE(l.TableExists(QString()));
    EXPECT_TRUE(l.ColumnExists(QStringLiteral("Tracking"), QStringLiteral("StatusTime")));
    EXPECT_FALSE(l.ColumnExists(QStringLiteral("Tracking"), QStringLiteral("Nope")));
    EXPECT_FALSE(l.ColumnExists(QString(), QStringLiteral("MsgID")));
    EXPECT_EQ(l.ColumnMaxLength(QStringLiteral("Tracking"), QStringLiteral("MsgID")), 100);
    EXPECT_EQ(l.ColumnMaxLength(QString(), QStringLiteral("MsgID")), -1);
    EXPECT_THROW(l.ColumnMaxLength(QStringLiteral("Tracking"), QStringLiteral("Nope")), DbError);
    EXPECT_FALSE(
        l.AddColumn(QStringLiteral("Tracking"), QStringLiteral("MsgID"), QStringLiteral("int"), QString()));
    EXPECT_FALSE(l.AddColumn(QString(), QStringLiteral("X"), QStringLiteral("int"), QString()));
    EXPECT_TRUE(l.CreateContentTable());
    l.OpenLog();
    l.LoggingLevel = 3;
    EXPECT_TRUE(l.CreateContentTable()); // exists already: another loader may have made it
    EXPECT_FALSE(logText().contains(QStringLiteral("Could not create Content Table.")));
}

TEST_P(LoaderStartupTest, AContentTableThatCannotBeMadeIsAFailureWithItsReason)
{
    // Another object holds the name, so the table neither exists nor can be created.
    sql(SqlDialect::create(backend())->createTrackingSql());
    sql(backend() == Backend::PostgreSql ? QStringLiteral("CREATE TYPE HM_CONTENT AS (a int)")
                                         : QStringLiteral("CREATE INDEX HM_CONTENT ON Tracking (MsgID)"));
    TsvcOVTrack &l = loader();
    l.adoConn1.open(connectionString());
    l.OpenLog();
    l.LoggingLevel = 3;
    EXPECT_FALSE(l.CreateContentTable());
    EXPECT_TRUE(logText().contains(QStringLiteral("(2): Could not create Content Table.")));
}

OVTRACK_ON_EVERY_BACKEND(LoaderStartupTest);

} // namespace
