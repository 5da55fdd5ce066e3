#include "shared/SqliteDialect.h"

#include "shared/DateTimeText.h"
#include "shared/DbConnection.h"
#include "shared/DbStatement.h"
#include "shared/TrackingSchema.h"

#include <QSqlError>

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

QString createTracking(const QString &tableName, bool upgradedWidths)
{
    QStringList columns;
    for (const TrackingSchema::Column &column : TrackingSchema::trackingColumns())
        columns << columnDefinition(column,
                                    upgradedWidths ? TrackingSchema::upgradedWidth(column) : column.width);
    return QStringLiteral("CREATE TABLE ") + tableName + QStringLiteral(" (") +
           columns.join(QStringLiteral(", ")) + u')';
}

QString createContent(const QString &tableName)
{
    return QStringLiteral("CREATE TABLE ") + tableName +
           QStringLiteral(" (MsgID varchar(100) COLLATE NOCASE NOT NULL CHECK (length(MsgID) <= 100), "
                          "HMData text COLLATE NOCASE NULL)");
}

bool tableExists(DbConnection &connection, const SqlDialect &dialect, const QString &name)
{
    DbStatement probe(connection, dialect.tableExistsSql(name));
    return probe.open().rowCount() == 1;
}

QStringList columnNames(DbConnection &connection, const QString &table)
{
    DbStatement info(connection, QStringLiteral("select name from pragma_table_info('%1')").arg(table));
    const DbResult result = info.open();
    QStringList names;
    for (int row = 0; row < result.rowCount(); ++row)
        names << result.text(row, QStringLiteral("name"));
    return names;
}

// Copies every column the old table has into a new one made by `createSql`, then swaps them.
void rebuildTable(DbConnection &connection, const QString &table, const QString &createSql)
{
    const QString rebuilt = table + QStringLiteral("_rebuild");
    const QString columns = columnNames(connection, table).join(QStringLiteral(", "));
    connection.execute(QStringLiteral("DROP TABLE IF EXISTS ") + rebuilt);
    connection.execute(createSql.arg(rebuilt));
    connection.execute(QStringLiteral("INSERT INTO %1 (%2) SELECT %2 FROM %3").arg(rebuilt, columns, table));
    connection.execute(QStringLiteral("DROP TABLE ") + table);
    connection.execute(QStringLiteral("ALTER TABLE %1 RENAME TO %2").arg(rebuilt, table));
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

void SqliteDialect::runWidthBatch(DbConnection &connection) const
{
    connection.beginTransaction();
    try {
        rebuildTable(connection, QStringLiteral("Tracking"), createTracking(QStringLiteral("%1"), true));
        if (tableExists(connection, *this, QStringLiteral("HM_CONTENT")))
            rebuildTable(connection, QStringLiteral("HM_CONTENT"), createContent(QStringLiteral("%1")));
        connection.commit();
    } catch (...) {
        if (connection.inTransaction())
            connection.rollback();
        throw;
    }
}

QString SqliteDialect::createTrackingSql() const
{
    return createTracking(QStringLiteral("Tracking"), false);
}

QString SqliteDialect::createContentSql() const
{
    return createContent(QStringLiteral("HM_CONTENT"));
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

bool SqliteDialect::connectionLost(const QSqlError &error) const
{
    constexpr int Busy = 5, Locked = 6; // SQLITE_BUSY, SQLITE_LOCKED
    bool isNumber = false;
    const int primary = error.nativeErrorCode().toInt(&isNumber) & 0xff;
    return isNumber && (primary == Busy || primary == Locked);
}

bool SqliteDialect::isDuplicateKey(const QString &errorMessage) const
{
    return SqlDialect::isDuplicateKey(errorMessage) ||
           errorMessage.contains(QLatin1String("UNIQUE constraint failed"), Qt::CaseInsensitive);
}
