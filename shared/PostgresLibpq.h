#pragma once

#include <QByteArray>
#include <QSqlError>
#include <QVariant>

#include <vector>

struct pg_conn;
struct pg_result;

class QSqlDatabase;

// What the statements this program sends through libpq, beside Qt's PostgreSQL driver, share.

// The libpq session behind a database on Qt's PostgreSQL driver; null on any other driver.
pg_conn *libpqSession(const QSqlDatabase &database);

// Parameter values as libpq takes them: a null QVariant is SQL NULL, a QByteArray goes as bytes
// (bytea, binary), any other value as its text.
class PostgresParameters
{
public:
    // `error` is set for a text holding a NUL character, which no text column can keep and libpq
    // would cut short without a word.
    PostgresParameters(const std::vector<QVariant> &values, QSqlError &error);

    int count() const { return int(m_pointers.size()); }
    const char *const *values() const { return m_pointers.data(); }
    const int *lengths() const { return m_lengths.data(); }
    const int *formats() const { return m_formats.data(); }

private:
    std::vector<QByteArray> m_bytes;
    std::vector<const char *> m_pointers;
    std::vector<int> m_lengths;
    std::vector<int> m_formats;
};

// A failure worded as the driver words it ("QPSQL: " and what failed), with the server's text and,
// when there is a result, its SQLSTATE.
QSqlError postgresFailure(const char *what, pg_conn *connection, pg_result *result);

// The driver's own words for its failures.
inline constexpr const char *UnableToPrepare = "Unable to prepare statement";
inline constexpr const char *UnableToCreateQuery = "Unable to create query";
inline constexpr const char *UnableToSendQuery = "Unable to send query";
