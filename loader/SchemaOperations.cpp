#include "loader/OVTrackSvcForm.h"

#include "shared/db/DbError.h"

// Each check is a one-off statement on the loader's connection; errors reach the caller.

bool TsvcOVTrack::existsAfterFailedCreate(const std::function<bool()> &exists)
{
    try {
        return exists();
    } catch (const std::exception &) {
        return false; // the create's own error is the one to report
    }
}

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

bool TsvcOVTrack::CreateContentTable()
{
    if (!adoConn1.isOpen())
        return true;
    QString failure;
    try {
        adoConn1.execute(adoConn1.dialect().createContentSql());
    } catch (const DbError &e) {
        failure = e.message();
    }
    // A failed create: another loader starting at the same moment may have made it first. One that
    // did nothing: IF NOT EXISTS also passes over another kind of object of that name.
    if (existsAfterFailedCreate([&] { return TableExists(QStringLiteral("HM_CONTENT")); }))
        return true;
    WriteLog(2, QStringLiteral("Could not create Content Table.") +
                    (failure.isEmpty() ? QStringLiteral("Another object is named HM_CONTENT.") : failure));
    return false;
}
