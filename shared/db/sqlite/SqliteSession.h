#pragma once

#include "shared/db/Session.h"

namespace db {

// A session on a SQLite file through SQLite's C API (see Session::OpenMode). Throws DbError.
std::unique_ptr<Session> openSqliteSession(const QString &file, Session::OpenMode mode);

} // namespace db
