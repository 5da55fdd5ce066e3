#include "shared/PostgresRow.h"

#include "shared/QtDriverHandle.h"
#include "shared/WallClock.h"

#include <QSqlQuery>
#include <QSqlResult>

#include <libpq-fe.h>

namespace {

constexpr Oid TimestampOid = 1114; // pg_type: timestamp without time zone

int digits(QByteArrayView text, qsizetype from, qsizetype count)
{
    int n = 0;
    for (qsizetype i = from; i < from + count; ++i) {
        const char c = text[i];
        if (c < '0' || c > '9')
            return -1;
        n = n * 10 + (c - '0');
    }
    return n;
}

} // namespace

std::optional<PostgresRow> PostgresRow::of(const QSqlQuery &query)
{
    const QSqlResult *result = query.result();
    if (!result || !query.isValid())
        return std::nullopt;
    // Qt 6 names the type as the compiler spells it; Qt 5 named it as the driver declares it.
    auto *pg = qtDriverHandle<PGresult>(result->handle(), {"pg_result*", "PGresult*"});
    // A forward-only query fetches one row per result (single-row mode); Qt reads it the same way.
    const int row = query.isForwardOnly() ? 0 : query.at();
    if (!pg || row < 0 || row >= PQntuples(pg))
        return std::nullopt;
    return PostgresRow(pg, row);
}

bool PostgresRow::isNull(int column) const
{
    return PQgetisnull(m_result, m_row, column) != 0;
}

bool PostgresRow::isTimestamp(int column) const
{
    return PQftype(m_result, column) == TimestampOid;
}

QByteArrayView PostgresRow::text(int column) const
{
    return {PQgetvalue(m_result, m_row, column), PQgetlength(m_result, m_row, column)};
}

std::optional<QDateTime> PostgresRow::wallClock(QByteArrayView text)
{
    const qsizetype size = text.size();
    if (size < 19 || text[4] != '-' || text[7] != '-' || text[10] != ' ' || text[13] != ':' ||
        text[16] != ':')
        return std::nullopt;
    int msec = 0;
    if (size > 19) {
        const qsizetype fraction = size - 20;
        if (text[19] != '.' || fraction < 1 || fraction > 6 || digits(text, 20, fraction) < 0)
            return std::nullopt;
        for (qsizetype i = 0; i < 3; ++i)
            msec = msec * 10 + (i < fraction ? text[20 + i] - '0' : 0);
    }
    const QDate date(digits(text, 0, 4), digits(text, 5, 2), digits(text, 8, 2));
    const QTime time(digits(text, 11, 2), digits(text, 14, 2), digits(text, 17, 2), msec);
    if (!date.isValid() || !time.isValid())
        return std::nullopt;
    return WallClock::of(date, time);
}
