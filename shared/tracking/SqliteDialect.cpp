#include "shared/tracking/SqliteDialect.h"

#include "shared/text/DateTimeText.h"
#include "shared/tracking/TrackingSchema.h"

#include <functional>

namespace {

const QString CrLf = QStringLiteral("\r\n");

QString textColumn(const QString &name, int width)
{
    return QStringLiteral("%1 varchar(%2) COLLATE NOCASE NULL CHECK (length(%1) <= %2)").arg(name).arg(width);
}

QString columnDefinition(const TrackingSchema::Column &column, int width)
{
    const QString name = QLatin1String(column.name);
    switch (column.type) {
    case TrackingSchema::ColumnType::VarChar:
        return textColumn(name, width);
    case TrackingSchema::ColumnType::DateTime:
        return name + QStringLiteral(" datetime NULL");
    case TrackingSchema::ColumnType::Int:
        break;
    }
    return name + QStringLiteral(" int NULL");
}

// `widthOf` gives each text column's width.
QString createTracking(const QString &tableName, const std::function<int(const TrackingSchema::Column &)> &widthOf)
{
    QStringList columns;
    for (const TrackingSchema::Column &column : TrackingSchema::trackingColumns())
        columns << columnDefinition(column, widthOf(column));
    return QStringLiteral("CREATE TABLE ") + tableName + QStringLiteral(" (") +
           columns.join(QStringLiteral(", ")) + u')';
}

QString createContent(const QString &tableName)
{
    return QStringLiteral("CREATE TABLE ") + tableName +
           QStringLiteral(" (MsgID varchar(100) COLLATE NOCASE NOT NULL CHECK (length(MsgID) <= 100), "
                          "HMData text COLLATE NOCASE NULL)");
}

// Copies the columns `copied` into a new table made by `createSql` (with %1 for its name), then
// swaps the two.
QStringList rebuild(const QString &table, const QStringList &copied, const QString &createSql)
{
    const QString rebuilt = table + QStringLiteral("_rebuild");
    const QString columns = copied.join(QStringLiteral(", "));
    return {QStringLiteral("DROP TABLE IF EXISTS ") + rebuilt, createSql.arg(rebuilt),
            QStringLiteral("INSERT INTO %1 (%2) SELECT %2 FROM %3").arg(rebuilt, columns, table),
            QStringLiteral("DROP TABLE ") + table,
            QStringLiteral("ALTER TABLE %1 RENAME TO %2").arg(rebuilt, table)};
}

QString existingRow(const QString &id)
{
    return QStringLiteral("select Sender, Filename, QZServerReceiveTime, QZDeliveryTime, StatusTime, PracID, "
                          "FileType, RunNumber, ReadStatus from Tracking where MsgID=") +
           id + QStringLiteral(" limit 1");
}

} // namespace

QString SqliteDialect::canonicalDateTime(const QDateTime &value)
{
    return sortableDateTimeText(value, true);
}

QString SqliteDialect::tableExistsSql(const QString &name) const
{
    return QStringLiteral(
               "select name from sqlite_master where type = 'table' and name = '%1' collate nocase")
        .arg(name);
}

QString SqliteDialect::columnExistsSql(const QString &table, const QString &column) const
{
    return QStringLiteral(
               "select m.name as table_name, p.name as column_name from sqlite_master as m join "
               "pragma_table_info(m.name) as p where m.type = 'table' and m.name = '%1' collate nocase "
               "and p.name = '%2' collate nocase")
        .arg(table, column);
}

QString SqliteDialect::columnMaxLengthSql(const QString &table, const QString &column) const
{
    return QStringLiteral(
               "select p.name as column_name, cast(substr(p.type, instr(p.type, '(') + 1, "
               "length(p.type) - instr(p.type, '(') - 1) as integer) as MaxLength from sqlite_master "
               "as m join pragma_table_info(m.name) as p where m.type = 'table' and m.name = '%1' "
               "collate nocase and p.name = '%2' collate nocase")
        .arg(table, column);
}

QString SqliteDialect::addColumnSql(const QString &table, const QString &column, const QString &type,
                                    const QString &size) const
{
    QString definition;
    if (type.compare(QLatin1String("varchar"), Qt::CaseInsensitive) == 0 && !size.isEmpty())
        definition = textColumn(column, size.toInt());
    else
        definition = column + u' ' + type.toLower();
    return QStringLiteral("Alter table ") + table + QStringLiteral(" add ") + definition;
}

QString SqliteDialect::indexExistsSql(const QString &index) const
{
    return QStringLiteral("select name from sqlite_master where type = 'index' and name = '%1'").arg(index);
}

QStringList SqliteDialect::rebuildTableSql(const QString &table, const QStringList &copied,
                                           const QHash<QString, int> &widths) const
{
    if (table.compare(QLatin1String(TrackingSchema::ContentTable), Qt::CaseInsensitive) == 0)
        return rebuild(table, copied, createContent(QStringLiteral("%1")));
    return rebuild(table, copied, createTracking(QStringLiteral("%1"), [&widths](const TrackingSchema::Column &c) {
                       return widths.value(QLatin1String(c.name), c.width);
                   }));
}

QString SqliteDialect::createTrackingSql() const
{
    return createTracking(QStringLiteral("Tracking"), [](const TrackingSchema::Column &c) { return c.width; });
}

QString SqliteDialect::createContentSql() const
{
    return createContent(QStringLiteral("IF NOT EXISTS HM_CONTENT"));
}

QString SqliteDialect::createIndexSql(const QString &index, const QString &table, const QString &column) const
{
    return QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON %2 (%3)").arg(index, table, column);
}

QString SqliteDialect::existingRowSql(const QString &messageId) const
{
    return existingRow(u'\'' + quoteMessageId(messageId) + u'\'');
}

QString SqliteDialect::existingRowBoundSql() const
{
    return existingRow(QStringLiteral(":MsgID"));
}

QString SqliteDialect::undeliveredSummarySql() const
{
    // convert(varchar(17), ..., 113): "07 Jun 2024 14:05".
    const QString lastDelivery = QStringLiteral(
        "(select strftime('%d ', max(t2.QZDeliveryTime)) || substr('JanFebMarAprMayJunJulAugSepOctNovDec', "
        "3 * cast(strftime('%m', max(t2.QZDeliveryTime)) as integer) - 2, 3) || "
        "strftime(' %Y %H:%M', max(t2.QZDeliveryTime)) from Tracking as t2 where t2.pracid = t1.pracid)");
    return undeliveredSummary(daysSinceReceiptSql(), lastDelivery);
}

QString SqliteDialect::tagAsManagedSql() const
{
    return QStringList{QStringLiteral("Update Tracking "),
                       QStringLiteral("  set QZDeliveryTime = %1,").arg(dateLiteral(Sentinel::Managed)),
                       QStringLiteral("    QZServerReceiveTime = ") + currentDateTimeSql(),
                       QStringLiteral("     where MsgID = :QMessageID")}
        .join(CrLf);
}

QString SqliteDialect::dateLiteral(QDate date) const
{
    return u'\'' + date.toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral(" 00:00:00.000'");
}

QVariant SqliteDialect::dateTimeParameter(const QDateTime &value) const
{
    return canonicalDateTime(value);
}

QVariant SqliteDialect::longTextParameter(const QByteArray &bytes) const
{
    return bytes; // stored as a blob: every byte comes back as it went in
}

QString SqliteDialect::newestContentSql() const
{
    return contentLookupSql(QStringLiteral("order by rowid desc limit 1")); // rowids grow with each insert
}

QStringList SqliteDialect::sessionSetupSql() const
{
    return {QStringLiteral("PRAGMA journal_mode=WAL"), QStringLiteral("PRAGMA synchronous=NORMAL")};
}

QString SqliteDialect::currentDateTimeSql() const
{
    return QStringLiteral("strftime('%Y-%m-%d %H:%M:%f', 'now', 'localtime')");
}

QString SqliteDialect::daysSinceReceiptSql() const
{
    return QStringLiteral(
        "cast(julianday(date('now', 'localtime')) - julianday(date(t1.QZServerReceiveTime)) "
        "as integer)");
}

QString SqliteDialect::pruneTrackingBatchSql() const
{
    // Tracking has no key: rowid picks the batch, RETURNING hands back the deleted message ids.
    return QStringLiteral("delete from Tracking where rowid in (select rowid from Tracking where ") +
           settledBeforeCutoffSql() + QStringLiteral(" limit :BatchSize) returning MsgID");
}

QString SqliteDialect::createAuditSql() const
{
    return QStringLiteral("CREATE TABLE OVTrack_Audit (AuditTime datetime NOT NULL, ") +
           textColumn(QStringLiteral("UserName"), 100) + QStringLiteral(", ") +
           textColumn(QStringLiteral("HostName"), 240) + QStringLiteral(", ") +
           textColumn(QStringLiteral("Action"), 40) + QStringLiteral(", ") +
           textColumn(QStringLiteral("Subject"), 4000) + QStringLiteral(", ") +
           textColumn(QStringLiteral("Outcome"), 240) + u')';
}

