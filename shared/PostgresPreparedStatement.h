#pragma once

#include <QByteArray>
#include <QSqlError>
#include <QStringList>
#include <QVariant>

#include <memory>
#include <vector>

class DbConnection;
struct pg_conn;

// A statement prepared once on the PostgreSQL session behind Qt's driver and run many times with
// PQexecPrepared: its values travel apart from the text, where the driver puts
// them inside an EXECUTE text for the server to parse on every run. Failures are worded as the
// driver words them, with the server's text and SQLSTATE.
class PostgresPreparedStatement
{
public:
    // Null when `connection` is not on Qt's PostgreSQL driver. `text` numbers its parameters $1,
    // $2 ...; on failure `error` is set.
    static std::unique_ptr<PostgresPreparedStatement> prepare(DbConnection &connection, const QByteArray &text,
                                                              QSqlError &error);
    // Gives the name back to the session while it lasts and nothing else is running on it.
    ~PostgresPreparedStatement();
    PostgresPreparedStatement(const PostgresPreparedStatement &) = delete;
    PostgresPreparedStatement &operator=(const PostgresPreparedStatement &) = delete;

    // Runs with the values of $1, $2 ... (as PostgresParameters takes them), reading the result into
    // `rows` and `fieldNames` when given, as the driver would give them (see PostgresRow::value);
    // returns the rows changed or read, or -1 with `error` set.
    int run(const std::vector<QVariant> &values, std::vector<std::vector<QVariant>> *rows, QStringList *fieldNames,
            QSqlError &error);

private:
    PostgresPreparedStatement(DbConnection &connection, pg_conn *session, QByteArray name);

    DbConnection &m_connection;
    std::weak_ptr<const void> m_connectionLifetime;
    int m_generation; // the connection's session it was prepared on
    pg_conn *m_session;
    QByteArray m_name;
};
