#include "loader/OVTrackSvcForm.h"

#include "shared/DbError.h"

// Each check is a one-off statement on the loader's connection; errors reach the caller.

bool TsvcOVTrack::TableExists(const QString &name)
{
    if (name.isEmpty())
        return false;
    DbStatement query(adoConn1, adoConn1.dialect().tableExistsSql(name));
    return query.open().rowCount() == 1;
}

bool TsvcOVTrack::ColumnExists(const QString &table, const QString &column)
{
    if (table.isEmpty())
        return false;
    DbStatement query(adoConn1, adoConn1.dialect().columnExistsSql(table, column));
    return query.open().rowCount() == 1;
}

int TsvcOVTrack::ColumnMaxLength(const QString &table, const QString &column)
{
    if (table.isEmpty())
        return -1;
    DbStatement query(adoConn1, adoConn1.dialect().columnMaxLengthSql(table, column));
    const DbResult result = query.open();
    const std::optional<qint64> length =
        result.isEmpty() ? std::nullopt : result.integer(0, QStringLiteral("MaxLength"));
    if (!length)
        throw DbError(DbError::Kind::AccessLayer,
                      QStringLiteral("The column %1.%2 has no maximum length").arg(table, column));
    return static_cast<int>(*length);
}

bool TsvcOVTrack::AddColumn(const QString &table, const QString &column, const QString &type,
                            const QString &size)
{
    if (table.isEmpty())
        return false;
    try {
        adoConn1.execute(adoConn1.dialect().addColumnSql(table, column, type, size));
        return true;
    } catch (const std::exception &) {
        return false;
    }
}

bool TsvcOVTrack::UpdateFieldWidths()
{
    try {
        adoConn1.dialect().runWidthBatch(adoConn1);
        return true;
    } catch (const std::exception &) {
        return false;
    }
}

bool TsvcOVTrack::CreateContentTable()
{
    if (!adoConn1.isOpen())
        return true;
    try {
        adoConn1.execute(adoConn1.dialect().createContentSql());
        return true;
    } catch (const DbError &e) {
        WriteLog(2, QStringLiteral("Could not create Content Table.") + e.message());
        return false;
    }
}
