#include "shared/tracking/SqlServerDialect.h"
#include "shared/text/WallClock.h"


#include <gtest/gtest.h>

// The production statement texts, written out here character for character.
namespace {

const SqlServerDialect dialect;

TEST(SqlServerDialectTest, CatalogueChecks)
{
    EXPECT_EQ(dialect.tableExistsSql("HM_CONTENT"), "select [name] from sysobjects where sysobjects.name = 'HM_CONTENT'");
    EXPECT_EQ(dialect.columnExistsSql("Tracking", "RunNumber"),
              "select so.name as table_name, sc.name as column_name from sysobjects as so left join syscolumns as sc "
              "on so.id = sc.id where so.name = 'Tracking' and sc.name = 'RunNumber'");
    EXPECT_EQ(dialect.columnMaxLengthSql("Tracking", "MsgID"),
              "SELECT c.name AS column_name,c.max_length as MaxLength FROM sys.columns AS c JOIN sys.types AS t ON "
              "c.user_type_id=t.user_type_id WHERE c.object_id = OBJECT_ID('Tracking') and c.Name='MsgID'");
}

TEST(SqlServerDialectTest, AddColumnBreaksTheLineBeforeTheSize)
{
    EXPECT_EQ(dialect.addColumnSql("Tracking", "RunNumber", "varchar", "240"),
              "Alter table Tracking add RunNumber [varchar]\r\n(240)");
    EXPECT_EQ(dialect.addColumnSql("Tracking", "ReadStatus", "int", ""), "Alter table Tracking add ReadStatus [int]");
    EXPECT_EQ(dialect.addColumnSql("Tracking", "StatusTime", "DateTime", ""),
              "Alter table Tracking add StatusTime [DateTime]");
}

TEST(SqlServerDialectTest, WidthUpgradeOneColumnAtATime)
{
    EXPECT_EQ(dialect.alterColumnSql("Tracking", "MsgID", 100, false),
              "Alter table Tracking Alter column [MsgID] varchar(100) NULL");
    EXPECT_EQ(dialect.alterColumnSql("Tracking", "FileType", 50, false),
              "Alter table Tracking Alter column [FileType] varchar(50) NULL");
    EXPECT_EQ(dialect.alterColumnSql("Tracking", "QZDeliveryTime", 0, false),
              "Alter table Tracking Alter column [QZDeliveryTime] [datetime] NULL");
    EXPECT_EQ(dialect.alterColumnSql("HM_CONTENT", "MsgID", 100, true),
              "Alter table HM_CONTENT Alter column [MsgID] varchar(100) NOT NULL");
    EXPECT_EQ(dialect.longestValueSql("Tracking", "FileType"), "select max(len(FileType)) as n from Tracking");
    EXPECT_TRUE(dialect.rebuildTableSql("Tracking", {"MsgID"}, {}).isEmpty());
}

TEST(SqlServerDialectTest, MessageLockIsAnApplicationLockOfTheTransaction)
{
    EXPECT_EQ(dialect.messageLockSql(),
              "DECLARE @Resource nvarchar(255) = N'OVTrack MsgID ' + UPPER(:MsgID);\r\n"
              "DECLARE @Result int;\r\n"
              "EXEC @Result = sp_getapplock @Resource = @Resource, @LockMode = 'Exclusive', "
              "@LockOwner = 'Transaction', @LockTimeout = -1;\r\n"
              "IF @Result < 0 RAISERROR('The lock on message %s was not granted (%d).', 16, 1, @Resource, "
              "@Result);");
    EXPECT_EQ(dialect.savepointSql("s1"), "SAVE TRANSACTION s1");
    EXPECT_EQ(dialect.releaseSavepointSql("s1"), "");
    EXPECT_EQ(dialect.rollbackToSavepointSql("s1"), "ROLLBACK TRANSACTION s1");
}

TEST(SqlServerDialectTest, ContentLookupKeepsTheProductionText)
{
    // No column tells the order of inserts; the loader stores no copy twice.
    EXPECT_EQ(dialect.newestContentSql(), "Select HMData from HM_Content\r\nwhere MsgId = :QMsgId");
    EXPECT_EQ(dialect.longTextValue(QVariant(QStringLiteral("caf\u00e9"))), QByteArray("caf\xe9"));
}

TEST(SqlServerDialectTest, CreateStatements)
{
    const char *c = "COLLATE SQL_Latin1_General_CP1_CI_AS NULL";
    const QString expected =
        QStringLiteral("CREATE TABLE [dbo].[Tracking] ([MsgID] [varchar] (100) %1, [Sender] [varchar] (240) %1, "
                       "[Filename] [varchar] (240) %1, [QZServerReceiveTime] [datetime] NULL, "
                       "[QZDeliveryTime] [datetime] NULL, [PracID] [varchar] (240) %1, [FileType] [varchar] (240) "
                       "%1, [LabId] [varchar] (240) %1, [RequestDate] [datetime] NULL, [AddresseeDoc] [varchar] "
                       "(240) %1, [RequestingDoc] [varchar] (240) %1, [Patient] [varchar] (240) %1, [PatientGiven] "
                       "[varchar] (240) %1, [PatientAddress] [varchar] (240) %1, [PatientDOB] [datetime] NULL, "
                       "[DocsPTRef] [varchar] (240) %1, [Test] [varchar] (240) %1, [CollectTime] [varchar] (240) "
                       "%1, [ReportTime] [varchar] (240) %1, [RunNumber] [varchar] (240) %1, [ReadStatus] [int] "
                       "NULL, [StatusTime] [datetime] NULL) ON [PRIMARY]")
            .arg(QLatin1String(c));
    EXPECT_EQ(dialect.createTrackingSql(), expected);
    EXPECT_EQ(dialect.createContentSql(),
              "CREATE TABLE [dbo].[HM_CONTENT] (\r\n"
              "\t[MsgID] [varchar] (100) COLLATE SQL_Latin1_General_CP1_CI_AS NOT NULL ,\r\n"
              "\t[HMData] [text] COLLATE SQL_Latin1_General_CP1_CI_AS NULL \r\n"
              ") ON [PRIMARY] TEXTIMAGE_ON [PRIMARY]");
}

TEST(SqlServerDialectTest, LookupsPasteTheMessageIdWithQuotesDoubled)
{
    EXPECT_EQ(dialect.existingRowSql("A1B2"),
              "select top 1 Sender, Filename, QZServerReceiveTime, QZDeliveryTime, StatusTime, PracID, FileType, "
              "RunNumber, ReadStatus from Tracking where MsgID='A1B2'");
    EXPECT_EQ(dialect.lowDeliverySql("A1B2"),
              "select QZDeliveryTime,QZServerReceiveTime from Tracking where MsgID='A1B2' and  QZDeliveryTime in "
              "(select min(QZDeliveryTime) as MinQZDeliveryTime from Tracking where QZDeliveryTime is not null and "
              "MsgId = 'A1B2')");
    EXPECT_TRUE(dialect.existingRowSql("O'Brien' or '1'='1").endsWith("MsgID='O''Brien'' or ''1''=''1'"));
    EXPECT_TRUE(dialect.lowDeliverySql("a'b").contains("MsgID='a''b'"));
    EXPECT_TRUE(dialect.lowDeliverySql("a'b").endsWith("MsgId = 'a''b')"));
    // The production texts stay pasted; the bound forms differ only in the id's place.
    EXPECT_FALSE(dialect.bindsLookupMessageId());
    EXPECT_EQ(dialect.existingRowBoundSql(),
              QString(dialect.existingRowSql("A1B2")).replace("'A1B2'", ":MsgID"));
    EXPECT_EQ(dialect.lowDeliveryBoundSql(),
              QString(dialect.lowDeliverySql("A1B2")).replace("'A1B2'", ":MsgID"));
}

TEST(SqlServerDialectTest, UndeliveredSummaryEighteenLines)
{
    EXPECT_EQ(dialect.undeliveredSummarySql(),
              "select\r\n"
              "\tpracid,\r\n"
              "\tsum(case when (DateDiff(day, t1.QZServerReceiveTime, GetDate()) = 0) then 1 else 0 end) as count_today,\r\n"
              "\tsum(case when (DateDiff(day, t1.QZServerReceiveTime, GetDate()) = 1) then 1 else 0 end) as count_today_1,\r\n"
              "\tsum(case when (DateDiff(day, t1.QZServerReceiveTime, GetDate()) = 2) then 1 else 0 end) as count_today_2,\r\n"
              "\tsum(case when (DateDiff(day, t1.QZServerReceiveTime, GetDate()) = 3) then 1 else 0 end) as count_today_3,\r\n"
              "\tsum(case when (DateDiff(day, t1.QZServerReceiveTime, GetDate()) >= 4) then 1 else 0 end) as count_today_4_plus,\r\n"
              "\tsum(1) as count_total,\r\n"
              "\tconvert(varchar(17), (select max(t2.QZDeliveryTime) from Tracking as t2 where t2.pracid = t1.pracid), 113) as last_delivery\r\n"
              "from \r\n"
              "\tTracking as t1\r\n"
              "where\r\n"
              "\t(t1.QZDeliveryTime is null or t1.QZDeliveryTime='1905-06-07' or t1.QZDeliveryTime='1905-07-06' )\r\n"
              "                and t1.QZServerReceiveTime is not null\r\n"
              "group by\r\n"
              "\tt1.pracid\r\n"
              "order by\r\n"
              "\tt1.pracid");
}

TEST(SqlServerDialectTest, ManagedTagAndLiterals)
{
    EXPECT_EQ(dialect.tagAsManagedSql(), "Update Tracking \r\n"
                                         "  set QZDeliveryTime = '1900-01-27',\r\n"
                                         "    QZServerReceiveTime = GetDate()\r\n"
                                         "     where MsgID = :QMessageID");
    EXPECT_EQ(dialect.dateLiteral(QDate(1900, 1, 1)), "'1900-01-01'");
    EXPECT_EQ(dialect.sessionSetupSql(), QStringList{"SET TEXTSIZE 2147483647"});
}

TEST(SqlServerDialectTest, DateTimesRoundedToDatetimeTicks)
{
    const auto bound = [](int ms) {
        return dialect.dateTimeParameter(WallClock::of(QDate(2024, 6, 7), QTime(14, 5, 9, ms))).toString();
    };
    EXPECT_EQ(bound(0), "2024-06-07T14:05:09.000");
    EXPECT_EQ(bound(2), "2024-06-07T14:05:09.003");
    EXPECT_EQ(bound(5), "2024-06-07T14:05:09.007");
    EXPECT_EQ(bound(999), "2024-06-07T14:05:10.000");
}

TEST(SqlServerDialectTest, RetentionAuditAndCheckTexts)
{
    EXPECT_EQ(dialect.currentDateTimeSql(), "GetDate()");
    EXPECT_EQ(dialect.daysSinceReceiptSql(), "DateDiff(day, t1.QZServerReceiveTime, GetDate())");
    EXPECT_EQ(
        dialect.pruneTrackingBatchSql(),
        "delete top (:BatchSize) from Tracking output deleted.MsgID where QZServerReceiveTime < :Cutoff and "
        "QZDeliveryTime is not null and QZDeliveryTime not in ('1900-01-01', '1905-06-07', '1905-07-06')");
    EXPECT_EQ(dialect.createAuditSql(),
              "CREATE TABLE [dbo].[OVTrack_Audit] ([AuditTime] [datetime] NOT NULL, "
              "[UserName] [varchar] (100) COLLATE SQL_Latin1_General_CP1_CI_AS NULL, "
              "[HostName] [varchar] (240) COLLATE SQL_Latin1_General_CP1_CI_AS NULL, "
              "[Action] [varchar] (40) COLLATE SQL_Latin1_General_CP1_CI_AS NULL, "
              "[Subject] [varchar] (4000) COLLATE SQL_Latin1_General_CP1_CI_AS NULL, "
              "[Outcome] [varchar] (240) COLLATE SQL_Latin1_General_CP1_CI_AS NULL) ON [PRIMARY]");
    EXPECT_EQ(dialect.undeliveredConditionLines(),
              QStringList({"(t1.QZDeliveryTime is null or t1.QZDeliveryTime='1905-06-07' or "
                           "t1.QZDeliveryTime='1905-07-06' )",
                           "and t1.QZServerReceiveTime is not null"}));
}

} // namespace
