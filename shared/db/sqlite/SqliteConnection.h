#pragma once

#include "shared/db/DbError.h"

#include <QStringList>

#include <sqlite3.h>

#include <memory>
#include <vector>

namespace db {

class SqliteCursor;

// What a session shares with its statements and cursors, which may outlive it.
struct SqliteConnection
{
    sqlite3 *handle = nullptr;        // null once the session has closed
    SqliteCursor *openRead = nullptr; // the one cursor still reading, see Session

    // Ends the open read, if any, before the session runs anything else.
    void endRead();
};

// A prepared statement with what a run of it reads: shared by its Statement and its cursor, since
// either may be dropped first.
struct SqlitePrepared
{
    std::shared_ptr<SqliteConnection> connection;
    sqlite3_stmt *statement = nullptr;
    QStringList columnNames;
    std::vector<QByteArray> bound; // per parameter: the bytes SQLite reads while it runs, kept between runs

    ~SqlitePrepared() { sqlite3_finalize(statement); } // after the session closed, the last one closes the file
};

// The failure a SQLite result code (extended) stands for, with SQLite's message from `handle`.
DbError sqliteFailure(sqlite3 *handle, int code);

} // namespace db
