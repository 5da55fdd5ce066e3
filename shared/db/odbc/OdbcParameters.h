#pragma once

#include "shared/db/DbValue.h"

#include <sql.h>
#include <sqlext.h>

#include <vector>

namespace db {

// The buffers of a statement's "?" values, alive from their binding to the end of the execution.
class OdbcParameters
{
public:
    // Throws DbError (Data) for a value no statement can take, before anything is bound.
    explicit OdbcParameters(std::vector<DbValue> values);

    // Binds every value to its "?"; returns the first failure, SQL_SUCCESS when none.
    SQLRETURN bind(SQLHSTMT statement);

private:
    struct Buffer
    {
        DbValue value;
        SQL_TIMESTAMP_STRUCT time = {};
        SQLLEN indicator = 0;
    };
    std::vector<Buffer> m_buffers;
};

} // namespace db
