#pragma once

#include "shared/tracking/DbStatement.h"

// The value of the column `n` in the first row of a query, such as "select count(*) as n ...".
inline qint64 scalar(DbConnection &db, const QString &sql)
{
    DbStatement query(db, sql);
    return query.open().integer(0, QStringLiteral("n")).value_or(-1);
}
