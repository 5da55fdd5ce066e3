#include "shared/tracking/PostgresDialect.h"

#include "shared/text/DateTimeText.h"
#include "shared/tracking/TrackingSchema.h"



namespace {

const QString CrLf = QStringLiteral("\r\n");

// Case-insensitive and accent-sensitive, as SQL_Latin1_General_CP1_CI_AS compares.
const QString CaseInsensitive = QStringLiteral("ovtrack_ci");
// Deterministic ICU rules, so that lower() folds every Latin-1 letter whatever the database's locale.
const QString Folding = QStringLiteral("ovtrack_fold");
// "OV" as a number: the first key of the loader's advisory locks on message ids.
constexpr int MessageLockClass = 0x4F56;

QString existingRow(const QString &id)
{
    return QStringLiteral("select Sender, Filename, QZServerReceiveTime, QZDeliveryTime, StatusTime, PracID, "
                          "FileType, RunNumber, ReadStatus from Tracking where MsgID=") +
           id + QStringLiteral(" limit 1");
}

QString textType(int width)
{
    return QStringLiteral("varchar(%1) COLLATE %2").arg(width).arg(CaseInsensitive);
}

QString columnType(const TrackingSchema::Column &column, int width)
{
    switch (column.type) {
    case TrackingSchema::ColumnType::VarChar:
        return textType(width);
    case TrackingSchema::ColumnType::DateTime:
        return QStringLiteral("timestamp(3) without time zone");
    case TrackingSchema::ColumnType::Int:
        break;
    }
    return QStringLiteral("integer");
}

bool isTextColumn(const QString &name)
{
    for (const TrackingSchema::Column &column : TrackingSchema::trackingColumns()) {
        if (name.compare(QLatin1String(column.name), Qt::CaseInsensitive) == 0)
            return column.type == TrackingSchema::ColumnType::VarChar;
    }
    return false;
}

QString folded(const QString &expression)
{
    return QStringLiteral("lower(%1 COLLATE %2)").arg(expression, Folding);
}

} // namespace

QString PostgresDialect::tableExistsSql(const QString &name) const
{
    return QStringLiteral("select table_name as name from information_schema.tables where table_schema = "
                          "current_schema() and lower(table_name) = lower('%1')")
        .arg(name);
}

QString PostgresDialect::columnExistsSql(const QString &table, const QString &column) const
{
    return QStringLiteral(
               "select table_name, column_name from information_schema.columns where table_schema = "
               "current_schema() and lower(table_name) = lower('%1') and lower(column_name) = "
               "lower('%2')")
        .arg(table, column);
}

QString PostgresDialect::columnMaxLengthSql(const QString &table, const QString &column) const
{
    return QStringLiteral(
               "select column_name, character_maximum_length as MaxLength from "
               "information_schema.columns where table_schema = current_schema() and lower(table_name) "
               "= lower('%1') and lower(column_name) = lower('%2')")
        .arg(table, column);
}

QString PostgresDialect::addColumnSql(const QString &table, const QString &column, const QString &type,
                                      const QString &size) const
{
    const QString t = type.toLower();
    QString definition;
    if (t == QLatin1String("varchar") && !size.isEmpty())
        definition = textType(size.toInt());
    else if (t == QLatin1String("datetime"))
        definition = QStringLiteral("timestamp(3) without time zone");
    else
        definition = t;
    return QStringLiteral("Alter table %1 add column %2 %3").arg(table, column, definition);
}

QString PostgresDialect::indexExistsSql(const QString &index) const
{
    return QStringLiteral("select indexname from pg_indexes where schemaname = current_schema() and "
                          "lower(indexname) = lower('%1')")
        .arg(index);
}

QString PostgresDialect::createIndexSql(const QString &index, const QString &table,
                                        const QString &column) const
{
    // The message id is looked up by equality, which the plain index serves under the column's
    // collation; the other text columns are searched by prefix through likeCondition.
    if (isTextColumn(column) && column.compare(QLatin1String("MsgID"), Qt::CaseInsensitive) != 0)
        return QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON %2 (%3 text_pattern_ops)")
            .arg(index, table, folded(column));
    return QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON %2 (%3)").arg(index, table, column);
}

QString PostgresDialect::alterColumnSql(const QString &table, const QString &column, int width,
                                        bool notNull) const
{
    QString sql = QStringLiteral("Alter table %1 ALTER COLUMN %2 TYPE %3")
                      .arg(table, column,
                           width > 0 ? textType(width) : QStringLiteral("timestamp(3) without time zone"));
    if (notNull)
        sql += QStringLiteral(", ALTER COLUMN %1 SET NOT NULL").arg(column);
    return sql;
}

QString PostgresDialect::createTrackingSql() const
{
    QStringList columns;
    for (const TrackingSchema::Column &column : TrackingSchema::trackingColumns())
        columns << QLatin1String(column.name) + u' ' + columnType(column, column.width) +
                       QStringLiteral(" NULL");
    return QStringLiteral("CREATE TABLE Tracking (") + columns.join(QStringLiteral(", ")) + u')';
}

QString PostgresDialect::createContentSql() const
{
    return QStringLiteral("CREATE TABLE IF NOT EXISTS HM_CONTENT (MsgID ") + textType(TrackingSchema::MessageIdWidth) +
           QStringLiteral(" NOT NULL, HMData bytea NULL)");
}

QString PostgresDialect::existingRowSql(const QString &messageId) const
{
    return existingRow(u'\'' + quoteMessageId(messageId) + u'\'');
}

QString PostgresDialect::existingRowBoundSql() const
{
    return existingRow(QStringLiteral(":MsgID"));
}

QString PostgresDialect::undeliveredSummarySql() const
{
    // convert(varchar(17), ..., 113): "07 Jun 2024 14:05".
    return undeliveredSummary(
        daysSinceReceiptSql(),
        QStringLiteral("(select to_char(max(t2.QZDeliveryTime), 'DD Mon YYYY HH24:MI') from "
                       "Tracking as t2 where t2.pracid = t1.pracid)"));
}

QString PostgresDialect::tagAsManagedSql() const
{
    return QStringList{QStringLiteral("Update Tracking "),
                       QStringLiteral("  set QZDeliveryTime = %1,").arg(dateLiteral(Sentinel::Managed)),
                       QStringLiteral("    QZServerReceiveTime = ") + currentDateTimeSql(),
                       QStringLiteral("     where MsgID = :QMessageID")}
        .join(CrLf);
}

QString PostgresDialect::likeCondition(const QString &column, const QString &parameter) const
{
    // Without "escape ''" a backslash would escape the next character (the server's default), and
    // a pattern ending in one would fail; the other backends have no escape character either.
    return folded(column) + QStringLiteral(" like ") +
           folded(QStringLiteral("cast(:%1 as text)").arg(parameter)) + QStringLiteral(" escape ''");
}

QString PostgresDialect::dateLiteral(QDate date) const
{
    return u'\'' + date.toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral(" 00:00:00'");
}

QVariant PostgresDialect::dateTimeParameter(const QDateTime &value) const
{
    // Wall-clock text: the server reads it into timestamp without time zone unchanged.
    return sortableDateTimeText(value, true);
}

QVariant PostgresDialect::longTextParameter(const QByteArray &bytes) const
{
    return bytes; // bytea: every byte comes back as it went in
}

QString PostgresDialect::newestContentSql() const
{
    // The youngest inserting transaction; age() stays right across transaction-id wraparound.
    return contentLookupSql(QStringLiteral("order by age(xmin) limit 1"));
}

QString PostgresDialect::messageLockSql() const
{
    // The first key keeps these locks apart from any other use of advisory locks in the database.
    return QStringLiteral("select pg_advisory_xact_lock(%1, hashtext(%2))")
        .arg(MessageLockClass)
        .arg(folded(QStringLiteral("cast(:MsgID as text)")));
}

QStringList PostgresDialect::sessionSetupSql() const
{
    // The collations exist before any create statement needs them. Two programs starting at once
    // may race to create them, and a role without the right to create may still use them.
    const QString create = QStringLiteral(
        "IF NOT EXISTS (select 1 from pg_collation where collname = '%1' and collnamespace = "
        "current_schema()::regnamespace) THEN CREATE COLLATION %1 (provider = icu, locale = '%2', "
        "deterministic = %3); END IF;");
    return {
        QStringLiteral("DO $$ BEGIN ") +
        create.arg(CaseInsensitive, QStringLiteral("und-u-ks-level2"), QStringLiteral("false")) +
        create.arg(Folding, QStringLiteral("und"), QStringLiteral("true")) +
        QStringLiteral(" EXCEPTION WHEN unique_violation OR duplicate_object OR insufficient_privilege THEN "
                       "NULL; END $$")};
}

QString PostgresDialect::currentDateTimeSql() const
{
    return QStringLiteral("localtimestamp(3)");
}

QString PostgresDialect::daysSinceReceiptSql() const
{
    return QStringLiteral("(current_date - cast(t1.QZServerReceiveTime as date))");
}

QString PostgresDialect::pruneTrackingBatchSql() const
{
    // Tracking has no key: the row's physical address picks the batch.
    return QStringLiteral("delete from Tracking where ctid in (select ctid from Tracking where ") +
           settledBeforeCutoffSql() + QStringLiteral(" limit :BatchSize) returning MsgID");
}

QString PostgresDialect::createAuditSql() const
{
    return QStringLiteral(
               "CREATE TABLE OVTrack_Audit (AuditTime timestamp(3) without time zone NOT NULL, "
               "UserName %1 NULL, HostName %2 NULL, Action %3 NULL, Subject %4 NULL, Outcome %5 NULL)")
        .arg(textType(100), textType(240), textType(40), textType(4000), textType(240));
}
