#include "loader/FieldValues.h"
#include "loader/OVTrackSvcForm.h"

#include "shared/db/DbError.h"
#include "shared/tracking/TrackingSchema.h"

#include <vector>

// The width upgrade of an older Tracking table, one column at a time: a value too long for one
// narrowed column must not keep every other column (MsgID first) from its width at every start.

namespace {

struct WidthChange
{
    QString table;
    QString column;
    int width; // 0 for a date-time column
    bool notNull;
};

std::vector<WidthChange> widthChanges(bool withContentTable)
{
    std::vector<WidthChange> changes;
    for (const TrackingSchema::Column &column : TrackingSchema::trackingColumns()) {
        if (column.type == TrackingSchema::ColumnType::Int)
            continue;
        const int width =
            column.type == TrackingSchema::ColumnType::VarChar ? TrackingSchema::upgradedWidth(column) : 0;
        changes.push_back({QString::fromLatin1(TrackingSchema::TrackingTable), QLatin1String(column.name), width,
                           false});
    }
    if (withContentTable)
        changes.push_back({QString::fromLatin1(TrackingSchema::ContentTable), QStringLiteral("MsgID"),
                           TrackingSchema::MessageIdWidth, true});
    return changes;
}

} // namespace

bool TsvcOVTrack::UpdateFieldWidths()
{
    try {
        const bool withContent = TableExists(QString::fromLatin1(TrackingSchema::ContentTable));
        // The widths Tracking's text columns end with, for a rebuild: a column too long keeps its own.
        QHash<QString, int> trackingWidths;
        std::vector<WidthChange> applied;
        for (const WidthChange &change : widthChanges(withContent)) {
            if (!ColumnExists(change.table, change.column))
                continue;
            if (change.width > 0) {
                const int current = ColumnMaxLength(change.table, change.column);
                if (change.table == QLatin1String(TrackingSchema::TrackingTable))
                    trackingWidths.insert(change.column, current);
                if (change.width < current && !fitsNarrowerWidth(change.table, change.column, current, change.width))
                    continue;
                if (change.table == QLatin1String(TrackingSchema::TrackingTable))
                    trackingWidths.insert(change.column, change.width);
            }
            applied.push_back(change);
        }

        const SqlDialect &dialect = adoConn1.dialect();
        bool complete = true;
        QStringList rebuilt; // the tables whose columns cannot be altered
        for (const WidthChange &change : applied) {
            const QString sql = dialect.alterColumnSql(change.table, change.column, change.width, change.notNull);
            if (sql.isEmpty()) {
                if (!rebuilt.contains(change.table))
                    rebuilt << change.table;
                continue;
            }
            try {
                adoConn1.execute(sql);
            } catch (const std::exception &e) {
                WriteLog(2, QStringLiteral("Error: %1.%2 could not be altered: %3")
                                .arg(change.table, change.column, errorText(e)));
                complete = false;
            }
        }
        for (const QString &table : std::as_const(rebuilt))
            complete = rebuildWithWidths(table, trackingWidths) && complete;
        return complete;
    } catch (const std::exception &) {
        return false;
    }
}

bool TsvcOVTrack::fitsNarrowerWidth(const QString &table, const QString &column, int current, int width)
{
    DbStatement longest(adoConn1, adoConn1.dialect().longestValueSql(table, column));
    const qint64 length = longest.open().integer(0, QStringLiteral("n")).value_or(0);
    if (length <= width)
        return true;
    WriteLog(2, QStringLiteral("Field width of %1.%2 kept at %3: its longest value has %4 characters, more "
                               "than %5.")
                    .arg(table, column)
                    .arg(current)
                    .arg(length)
                    .arg(width));
    return false;
}

bool TsvcOVTrack::rebuildWithWidths(const QString &table, const QHash<QString, int> &widths)
{
    QStringList columns;
    if (table == QLatin1String(TrackingSchema::ContentTable)) {
        columns = {QStringLiteral("MsgID"), QStringLiteral("HMData")};
    } else {
        for (const TrackingSchema::Column &column : TrackingSchema::trackingColumns()) {
            if (ColumnExists(table, QLatin1String(column.name)))
                columns << QLatin1String(column.name);
        }
    }
    adoConn1.beginTransaction(DbConnection::TransactionMode::Write);
    try {
        for (const QString &sql : adoConn1.dialect().rebuildTableSql(table, columns, widths))
            adoConn1.execute(sql);
        adoConn1.commit();
        return true;
    } catch (const std::exception &e) {
        if (adoConn1.inTransaction())
            adoConn1.rollback();
        WriteLog(2, QStringLiteral("Error: %1 could not be rebuilt with its new widths: %2").arg(table, errorText(e)));
        return false;
    }
}
