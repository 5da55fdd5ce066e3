#include "shared/db/sqlite/SqliteCursor.h"

#include <QLocale>

namespace db {

SqliteCursor::SqliteCursor(std::shared_ptr<SqlitePrepared> prepared) : m_prepared(std::move(prepared))
{
    m_prepared->connection->openRead = this;
    m_firstRowWaiting = step();
}

bool SqliteCursor::next()
{
    if (m_state == State::Ended)
        throw DbError(DbError::Kind::Other, QStringLiteral("The read was ended by another statement on its session"));
    if (m_state == State::Finished)
        return false;
    return std::exchange(m_firstRowWaiting, false) || step();
}

bool SqliteCursor::step()
{
    const int rc = sqlite3_step(m_prepared->statement);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE) {
        finish(State::Finished);
        return false;
    }
    const DbError error = sqliteFailure(sqlite3_db_handle(m_prepared->statement), rc);
    finish(State::Finished);
    throw error;
}

void SqliteCursor::finish(State state)
{
    if (m_state != State::Reading)
        return;
    m_state = state;
    sqlite3_reset(m_prepared->statement);
    if (m_prepared->connection->openRead == this)
        m_prepared->connection->openRead = nullptr;
}

DbValue SqliteCursor::value(int column) const
{
    sqlite3_stmt *statement = m_prepared->statement;
    if (m_state != State::Reading)
        return {};
    switch (sqlite3_column_type(statement, column)) {
    case SQLITE_INTEGER:
        return qint64(sqlite3_column_int64(statement, column));
    case SQLITE_FLOAT:
        return QString::number(sqlite3_column_double(statement, column), 'g', QLocale::FloatingPointShortest);
    case SQLITE_TEXT:
        return QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(statement, column)),
                                 sqlite3_column_bytes(statement, column));
    case SQLITE_BLOB:
        return QByteArray(static_cast<const char *>(sqlite3_column_blob(statement, column)),
                          sqlite3_column_bytes(statement, column));
    default:
        return {};
    }
}

} // namespace db
