#include "shared/db/sqlite/SqliteConnection.h"

#include "shared/db/sqlite/SqliteCursor.h"

#include <utility>

namespace db {

namespace {

DbError::Kind failureKind(int code)
{
    if (code == SQLITE_CONSTRAINT_PRIMARYKEY || code == SQLITE_CONSTRAINT_UNIQUE)
        return DbError::Kind::DuplicateKey;
    switch (code & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return DbError::Kind::ConnectionLost; // another session holds the lock: a new attempt may pass
    case SQLITE_TOOBIG:
    case SQLITE_MISMATCH:
    case SQLITE_RANGE:
    case SQLITE_CONSTRAINT:
        return DbError::Kind::Data;
    default:
        return DbError::Kind::Other;
    }
}

} // namespace

void SqliteConnection::endRead()
{
    if (SqliteCursor *cursor = std::exchange(openRead, nullptr))
        cursor->endBySession();
}

DbError sqliteFailure(sqlite3 *handle, int code)
{
    return DbError(failureKind(code), QString::fromUtf8(sqlite3_errmsg(handle)), QString::number(code));
}

} // namespace db
