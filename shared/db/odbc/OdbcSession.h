#pragma once

#include "shared/db/Session.h"

namespace db {

// A session through unixODBC's C API on an ODBC connection string; `syntax` is the lexical rules of
// the server's statement texts. Throws DbError.
std::unique_ptr<Session> openOdbcSession(const QString &connectionString, SqlSyntax syntax, int loginTimeoutSeconds);

// The kind of one diagnostic record; SQL Server's own numbers count only with SqlSyntax::SqlServer.
DbError::Kind odbcErrorKind(const QString &sqlState, int native, SqlSyntax syntax);

} // namespace db
