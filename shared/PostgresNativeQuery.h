#pragma once

#include "shared/PostgresRow.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QSqlError>
#include <QVariant>

#include <memory>
#include <vector>

class DbConnection;
struct pg_conn;
struct pg_result;

// A query sent through libpq on the session behind Qt's PostgreSQL driver, unprepared: the server
// parses, plans for the values at hand and runs it in one round trip, where the driver prepares
// first and sends the values inside an EXECUTE text. Rows come one at a time as the server sends
// them. Failures are worded as the driver words them, with the server's text and SQLSTATE.
//
// While rows remain the session is busy. The connection it runs on ends it when any other statement
// starts there or the connection closes: the rest is dropped, and the next read fails (as the
// driver's own reads do) rather than ending short.
class PostgresNativeQuery
{
public:
    // Null when `connection` is not on Qt's PostgreSQL driver. `text` numbers its parameters $1, $2 ...
    // in the order of `values`; a null QVariant is SQL NULL, a QByteArray goes as bytes (bytea), any
    // other value as its text. Reads up to the first row; on failure `error` is set and the query is
    // finished.
    static std::unique_ptr<PostgresNativeQuery> start(DbConnection &connection, const QByteArray &text,
                                                      const std::vector<QVariant> &values, QSqlError &error);
    ~PostgresNativeQuery();
    PostgresNativeQuery(const PostgresNativeQuery &) = delete;
    PostgresNativeQuery &operator=(const PostgresNativeQuery &) = delete;

    // The column a field name is in (compared without regard to case), -1 when none.
    int fieldIndex(QByteArrayView name) const;
    // Moves to the next row: the first call to the row start() read. False at the end, or on failure
    // with `error` set; the query is then finished.
    bool next(QSqlError &error);
    // The row next() moved to; its texts stay valid until the next call.
    PostgresRow row() const;
    bool isActive() const { return m_current != nullptr; }
    // Reads and drops what remains, leaving the session free.
    void finish();
    // For the connection: another statement takes the session, or the session ends.
    void abandon(bool sessionEnding);

private:
    explicit PostgresNativeQuery(pg_conn *connection) : m_connection(connection) {}
    // The server's next answer; false at the end of the result or on failure.
    bool fetch(QSqlError &error);
    void end(bool drain);

    DbConnection *m_owner = nullptr; // while the session is this query's: from sending to the end
    pg_conn *m_connection;
    pg_result *m_current = nullptr; // the rows in hand
    int m_row = 0;
    bool m_rowPending = false; // start() read a row that next() has not handed out yet
    bool m_complete = false;   // the server said the result is whole
    bool m_abandoned = false;
    std::vector<QByteArray> m_fieldNames;
};
