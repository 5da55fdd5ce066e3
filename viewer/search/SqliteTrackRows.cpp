#include "viewer/search/SqliteTrackRows.h"

#include "shared/QtDriverHandle.h"
#include "shared/SqlDialect.h"
#include "viewer/search/WallClockText.h"

#include <QSqlDriver>
#include <QSqlResult>

#include <sqlite3.h>

std::unique_ptr<SqliteTrackRows>
SqliteTrackRows::attach(const QSqlQuery &query, const std::array<int, TrackFieldCount> &columnOfField)
{
    auto *statement =
        qtDriverHandle<sqlite3_stmt>(query.result() ? query.result()->handle() : QVariant(), {"sqlite3_stmt*"});
    if (!statement)
        return nullptr;
    return std::unique_ptr<SqliteTrackRows>(new SqliteTrackRows(statement, columnOfField));
}

TrackRowStore::WallTime SqliteTrackRows::timeAt(int column, const SqlDialect &dialect) const
{
    switch (sqlite3_column_type(m_statement, column)) {
    case SQLITE_INTEGER:
        return wallMsecsOf(QVariant(qlonglong(sqlite3_column_int64(m_statement, column))), dialect);
    case SQLITE_FLOAT:
        return wallMsecsOf(QVariant(sqlite3_column_double(m_statement, column)), dialect);
    default:
        break;
    }
    const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(m_statement, column));
    const QByteArrayView bytes(text, sqlite3_column_bytes(m_statement, column));
    if (const auto fast = canonicalWallMsecs(bytes))
        return *fast;
    return wallMsecsOf(QVariant(QString::fromUtf8(bytes)), dialect);
}

bool SqliteTrackRows::next(TrackRowStore::RowBuilder &row, const SqlDialect &dialect, QString &error)
{
    const int step = sqlite3_step(m_statement);
    if (step != SQLITE_ROW) {
        if (step != SQLITE_DONE)
            error = QString::fromUtf8(sqlite3_errmsg(sqlite3_db_handle(m_statement)));
        return false;
    }
    row.reset();
    for (int i = 0; i < TrackFieldCount; ++i) {
        const TrackFieldSlot slot = trackFieldSlot(TrackField(i));
        const int column = m_columnOfField[std::size_t(i)];
        if (slot.kind == TrackFieldKind::Computed || sqlite3_column_type(m_statement, column) == SQLITE_NULL)
            continue;
        switch (slot.kind) {
        case TrackFieldKind::Text: {
            const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(m_statement, column));
            row.setText(slot.slot, QByteArrayView(text, sqlite3_column_bytes(m_statement, column)));
            break;
        }
        case TrackFieldKind::Time:
            row.setTime(slot.slot, timeAt(column, dialect));
            break;
        case TrackFieldKind::Int:
            row.setReadStatus(sqlite3_column_int(m_statement, column));
            break;
        case TrackFieldKind::Computed:
            break;
        }
    }
    return true;
}
