#include "shared/tracking/SqlServerDialect.h"

#include "shared/text/TextCodec.h"
#include "shared/tracking/TrackingSchema.h"
#include "shared/text/WallClock.h"


namespace {

const QString CrLf = QStringLiteral("\r\n");
const QString Collation = QStringLiteral("COLLATE SQL_Latin1_General_CP1_CI_AS");

QString sqlTypeName(TrackingSchema::ColumnType type)
{
    switch (type) {
    case TrackingSchema::ColumnType::VarChar:
        return QStringLiteral("varchar");
    case TrackingSchema::ColumnType::DateTime:
        return QStringLiteral("datetime");
    case TrackingSchema::ColumnType::Int:
        break;
    }
    return QStringLiteral("int");
}

QString existingRow(const QString &id)
{
    return QStringLiteral("select top 1 Sender, Filename, QZServerReceiveTime, QZDeliveryTime, StatusTime, "
                          "PracID, FileType, RunNumber, ReadStatus from Tracking where MsgID=") +
           id;
}

} // namespace

QString SqlServerDialect::tableExistsSql(const QString &name) const
{
    return QStringLiteral("select [name] from sysobjects where sysobjects.name = '") + name + u'\'';
}

QString SqlServerDialect::columnExistsSql(const QString &table, const QString &column) const
{
    return QStringLiteral(
               "select so.name as table_name, sc.name as column_name from sysobjects as so left join "
               "syscolumns as sc on so.id = sc.id where so.name = '%1' and sc.name = '%2'")
        .arg(table, column);
}

QString SqlServerDialect::columnMaxLengthSql(const QString &table, const QString &column) const
{
    return QStringLiteral(
               "SELECT c.name AS column_name,c.max_length as MaxLength FROM sys.columns AS c JOIN "
               "sys.types AS t ON c.user_type_id=t.user_type_id WHERE c.object_id = OBJECT_ID('%1') "
               "and c.Name='%2'")
        .arg(table, column);
}

QString SqlServerDialect::addColumnSql(const QString &table, const QString &column, const QString &type,
                                       const QString &size) const
{
    QString sql = QStringLiteral("Alter table ") + table + QStringLiteral(" add ") + column +
                  QStringLiteral(" [") + type + u']';
    if (!size.isEmpty())
        sql += CrLf + u'(' + size + u')';
    return sql;
}

QString SqlServerDialect::indexExistsSql(const QString &index) const
{
    return QStringLiteral("select name from sys.indexes where name = '%1'").arg(index);
}

QString SqlServerDialect::alterColumnSql(const QString &table, const QString &column, int width,
                                         bool notNull) const
{
    return QStringLiteral("Alter table %1 Alter column [%2] %3 %4")
        .arg(table, column,
             width > 0 ? QStringLiteral("varchar(%1)").arg(width) : QStringLiteral("[datetime]"),
             notNull ? QStringLiteral("NOT NULL") : QStringLiteral("NULL"));
}

QString SqlServerDialect::longestValueSql(const QString &table, const QString &column) const
{
    return QStringLiteral("select max(len(%2)) as n from %1").arg(table, column);
}

QString SqlServerDialect::createTrackingSql() const
{
    QStringList columns;
    for (const TrackingSchema::Column &column : TrackingSchema::trackingColumns()) {
        QString text = QStringLiteral("[%1] [%2]").arg(QLatin1String(column.name), sqlTypeName(column.type));
        if (column.type == TrackingSchema::ColumnType::VarChar)
            text += QStringLiteral(" (%1) ").arg(column.width) + Collation + QStringLiteral(" NULL");
        else
            text += QStringLiteral(" NULL");
        columns << text;
    }
    return QStringLiteral("CREATE TABLE [dbo].[Tracking] (") + columns.join(QStringLiteral(", ")) +
           QStringLiteral(") ON [PRIMARY]");
}

QString SqlServerDialect::createContentSql() const
{
    return QStringList{QStringLiteral("CREATE TABLE [dbo].[HM_CONTENT] ("),
                       QStringLiteral("\t[MsgID] [varchar] (100) ") + Collation +
                           QStringLiteral(" NOT NULL ,"),
                       QStringLiteral("\t[HMData] [text] ") + Collation + QStringLiteral(" NULL "),
                       QStringLiteral(") ON [PRIMARY] TEXTIMAGE_ON [PRIMARY]")}
        .join(CrLf);
}

QString SqlServerDialect::existingRowSql(const QString &messageId) const
{
    return existingRow(u'\'' + quoteMessageId(messageId) + u'\'');
}

QString SqlServerDialect::existingRowBoundSql() const
{
    return existingRow(QStringLiteral(":MsgID"));
}

QString SqlServerDialect::undeliveredSummarySql() const
{
    return undeliveredSummary(
        daysSinceReceiptSql(),
        QStringLiteral("convert(varchar(17), (select max(t2.QZDeliveryTime) from Tracking as t2 "
                       "where t2.pracid = t1.pracid), 113)"));
}

QString SqlServerDialect::tagAsManagedSql() const
{
    return QStringList{QStringLiteral("Update Tracking "),
                       QStringLiteral("  set QZDeliveryTime = '1900-01-27',"),
                       QStringLiteral("    QZServerReceiveTime = ") + currentDateTimeSql(),
                       QStringLiteral("     where MsgID = :QMessageID")}
        .join(CrLf);
}

QString SqlServerDialect::dateLiteral(QDate date) const
{
    return u'\'' + date.toString(QStringLiteral("yyyy-MM-dd")) + u'\'';
}

QVariant SqlServerDialect::dateTimeParameter(const QDateTime &value) const
{
    // datetime keeps 1/300 s: round the milliseconds to its ticks so that no driver refuses the
    // fraction, and send ISO text, which SQL Server reads the same under every date format setting.
    const qint64 ms = value.time().msec();
    const qint64 ticks = (ms * 300 + 500) / 1000;
    const qint64 rounded = (ticks * 1000 + 150) / 300;
    const QDateTime adjusted = WallClock::relabelled(value).addMSecs(rounded - ms);
    return adjusted.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz"));
}

QVariant SqlServerDialect::longTextParameter(const QByteArray &bytes) const
{
    // The text column holds the server's code page; the driver converts from Unicode.
    return fromWindows1252(bytes);
}

QByteArray SqlServerDialect::longTextValue(const QVariant &value) const
{
    // The driver hands the code page's text over as Unicode.
    if (value.metaType().id() == QMetaType::QByteArray)
        return value.toByteArray();
    return toWindows1252(value.toString());
}

QString SqlServerDialect::newestContentSql() const
{
    return contentLookupSql({});
}

QStringList SqlServerDialect::sessionSetupSql() const
{
    return {QStringLiteral("SET TEXTSIZE 2147483647")};
}

QString SqlServerDialect::savepointSql(const QString &name) const
{
    return QStringLiteral("SAVE TRANSACTION ") + name;
}

QString SqlServerDialect::releaseSavepointSql(const QString &) const
{
    return {};
}

QString SqlServerDialect::rollbackToSavepointSql(const QString &name) const
{
    return QStringLiteral("ROLLBACK TRANSACTION ") + name;
}

QString SqlServerDialect::messageLockSql() const
{
    return QStringList{
        QStringLiteral("DECLARE @Resource nvarchar(255) = N'OVTrack MsgID ' + UPPER(:MsgID);"),
        QStringLiteral("DECLARE @Result int;"),
        QStringLiteral("EXEC @Result = sp_getapplock @Resource = @Resource, @LockMode = 'Exclusive', "
                       "@LockOwner = 'Transaction', @LockTimeout = -1;"),
        QStringLiteral("IF @Result < 0 RAISERROR('The lock on message %s was not granted (%d).', 16, 1, "
                       "@Resource, @Result);")}
        .join(CrLf);
}

QString SqlServerDialect::currentDateTimeSql() const
{
    return QStringLiteral("GetDate()");
}

QString SqlServerDialect::daysSinceReceiptSql() const
{
    return QStringLiteral("DateDiff(day, t1.QZServerReceiveTime, GetDate())");
}

QString SqlServerDialect::pruneTrackingBatchSql() const
{
    return QStringLiteral("delete top (:BatchSize) from Tracking output deleted.MsgID where ") +
           settledBeforeCutoffSql();
}

QString SqlServerDialect::createAuditSql() const
{
    const QString text = QStringLiteral("[%1] [varchar] (%2) ") + Collation + QStringLiteral(" NULL");
    return QStringLiteral("CREATE TABLE [dbo].[OVTrack_Audit] ([AuditTime] [datetime] NOT NULL, ") +
           text.arg(QStringLiteral("UserName")).arg(100) + QStringLiteral(", ") +
           text.arg(QStringLiteral("HostName")).arg(240) + QStringLiteral(", ") +
           text.arg(QStringLiteral("Action")).arg(40) + QStringLiteral(", ") +
           text.arg(QStringLiteral("Subject")).arg(4000) + QStringLiteral(", ") +
           text.arg(QStringLiteral("Outcome")).arg(240) + QStringLiteral(") ON [PRIMARY]");
}
