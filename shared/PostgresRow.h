#pragma once

#include <QByteArrayView>
#include <QDateTime>

#include <optional>

class QSqlQuery;
struct pg_result;

// The row a query on Qt's PostgreSQL driver stands on, read through libpq as the server sent it.
// The driver turns a timestamp into a local QDateTime, which cannot hold a time inside the
// machine's daylight-saving gap; the server's own text holds every wall-clock value.
class PostgresRow
{
public:
    // Empty unless the query runs on the PostgreSQL driver and stands on a row.
    static std::optional<PostgresRow> of(const QSqlQuery &query);

    bool isNull(int column) const;
    // Whether the column is a timestamp without time zone, as every stored date-time is.
    bool isTimestamp(int column) const;
    // The field as the server wrote it; valid while the query stays on this row.
    QByteArrayView text(int column) const;

    // A timestamp's text ("yyyy-MM-dd HH:mm:ss" with up to six fraction digits) as its wall-clock
    // value, to the millisecond; empty for any other text ("infinity", a year BC or past 9999).
    static std::optional<QDateTime> wallClock(QByteArrayView text);

private:
    friend class PostgresNativeQuery;
    PostgresRow(pg_result *result, int row) : m_result(result), m_row(row) {}

    pg_result *m_result;
    int m_row;
};
