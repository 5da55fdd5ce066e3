#pragma once

#include "shared/db/Session.h"

namespace db {

// A session on a PostgreSQL server through libpq. Throws DbError.
std::unique_ptr<Session> openPostgresSession(const ConnectionTarget &target);

} // namespace db
