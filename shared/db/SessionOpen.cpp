#include "shared/db/ConnectionTarget.h"
#include "shared/db/Session.h"
#include "shared/db/odbc/OdbcSession.h"
#include "shared/db/postgres/PostgresSession.h"
#include "shared/db/sqlite/SqliteSession.h"

namespace db {

std::unique_ptr<Session> Session::open(const ConnectionTarget &target, OpenMode mode)
{
    switch (target.backend) {
    case Backend::Sqlite:
        return openSqliteSession(target.databaseName, mode);
    case Backend::PostgreSql:
        return openPostgresSession(target);
    case Backend::SqlServer:
        return openOdbcSession(target.databaseName, SqlSyntax::SqlServer, target.connectTimeoutSeconds);
    }
    throw DbError(DbError::Kind::AccessLayer, QStringLiteral("Unknown database backend"));
}

} // namespace db
