#pragma once

#include <QByteArrayView>
#include <QDateTime>
#include <QVariant>

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
    // A row of a result read through libpq itself; valid while the result lives.
    static PostgresRow at(pg_result *result, int row) { return PostgresRow(result, row); }

    bool isNull(int column) const;
    // Whether the column is a timestamp without time zone, as every stored date-time is.
    bool isTimestamp(int column) const;
    // The field as the server wrote it; valid while the query stays on this row.
    QByteArrayView text(int column) const;

    // The field as Qt's driver gives it: a typed null for NULL, numbers, booleans and dates as such,
    // a timestamp as its wall-clock value (see wallClock), bytea as its bytes, anything else as text.
    QVariant value(int column) const;

    // A timestamp's text ("yyyy-MM-dd HH:mm:ss" with up to six fraction digits) as its wall-clock
    // value, to the millisecond; empty for any other text ("infinity", a year BC or past 9999).
    static std::optional<QDateTime> wallClock(QByteArrayView text);

private:
    PostgresRow(pg_result *result, int row) : m_result(result), m_row(row) {}

    pg_result *m_result;
    int m_row;
};
