#include "shared/db/DbError.h"

DbError::Kind sqlStateKind(const QString &sqlState)
{
    // Class 08 is a connection failure; 57P01-57P03 an administrator's or crash shutdown, or a
    // server that cannot take connections yet; HYT00/HYT01 an ODBC login or connection timeout;
    // 40001/40P01 a serialization failure or deadlock victim. The same work may succeed anew.
    if (sqlState.startsWith(QLatin1String("08")) || sqlState == QLatin1String("57P01") ||
        sqlState == QLatin1String("57P02") || sqlState == QLatin1String("57P03") ||
        sqlState == QLatin1String("HYT00") || sqlState == QLatin1String("HYT01") ||
        sqlState == QLatin1String("40001") || sqlState == QLatin1String("40P01"))
        return DbError::Kind::ConnectionLost;
    if (sqlState == QLatin1String("23505"))
        return DbError::Kind::DuplicateKey;
    if (sqlState.startsWith(QLatin1String("22")))
        return DbError::Kind::Data;
    return DbError::Kind::Other;
}
