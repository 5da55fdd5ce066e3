#pragma once

#include "shared/db/Session.h"

#include <sqlite3.h>

namespace db {

class SqliteCursor;

// What a session shares with its statements and cursors, which may outlive it.
struct SqliteConnection
{
    explicit SqliteConnection(sqlite3 *open) : handle(open) {}

    sqlite3 *handle;                  // null once the session has closed
    SqliteCursor *openRead = nullptr; // the one cursor still reading (see Session)

    // Ends the open read, if any: its next read throws.
    void endRead();
};

// The failure an extended result code stands for, with SQLite's message from `handle`.
DbError sqliteFailure(sqlite3 *handle, int code);

// Prepares one statement. Throws DbError, also for a text holding more than one statement.
std::unique_ptr<Statement> prepareSqliteStatement(const QString &text,
                                                  std::shared_ptr<SqliteConnection> connection);

} // namespace db
