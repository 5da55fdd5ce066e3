#pragma once

#include "shared/db/Session.h"
#include "shared/db/sqlite/SqliteConnection.h"

namespace db {

// A statement prepared once on a SQLite session.
class SqliteStatement final : public Statement
{
public:
    // Throws DbError for a text SQLite refuses or one holding more than one statement.
    SqliteStatement(const QString &text, std::shared_ptr<SqliteConnection> connection);

    qint64 run() override;
    std::unique_ptr<Cursor> query() override;
    bool isUsable() const override { return m_prepared->connection->handle != nullptr; }

private:
    // Ends the session's open read and binds the values. Throws DbError.
    sqlite3 *start();
    int bindParameter(int number, const DbValue &value);

    std::shared_ptr<SqlitePrepared> m_prepared;
};

} // namespace db
