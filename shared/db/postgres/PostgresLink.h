#pragma once

#include "shared/db/DbError.h"

#include <QByteArray>

#include <memory>
#include <vector>

struct ConnectionTarget;
struct pg_conn;
struct pg_result;

namespace db {

struct PostgresResultDeleter
{
    void operator()(pg_result *result) const;
};
using PostgresResult = std::unique_ptr<pg_result, PostgresResultDeleter>;

// The read that holds the connection until it ends; another use of the session interrupts it.
class PostgresRead
{
public:
    virtual void interrupt() = 0;

protected:
    ~PostgresRead() = default;
};

// One libpq connection, shared by a session and the statements and cursors made on it, which may
// outlive the session: once it closes they find it closed instead of a freed connection.
class PostgresLink
{
public:
    explicit PostgresLink(const ConnectionTarget &target); // throws DbError
    ~PostgresLink() { close(); }

    pg_conn *connection() const { return m_connection; }
    bool isOpen() const { return m_connection != nullptr; }
    bool isLost() const { return m_lost; }
    void close();

    // Readies the connection for a command: throws for a closed or lost session, interrupts the
    // open read and releases the names of destroyed statements when no transaction is open.
    void claim();
    void interruptRead();
    void startRead(PostgresRead *read) { m_read = read; }
    // Ends the read's command: cancels it on the server when rows remain, then consumes only what
    // libpq must until the connection is free.
    void endRead(bool cancelOnServer);
    // The results of the command sent: its first failure, else its last result.
    PostgresResult collect();
    // The failure a result (without one, the connection) reports; a lost connection marks the
    // session lost for good.
    DbError failure(const pg_result *result);
    [[noreturn]] void fail(const pg_result *result) { throw failure(result); }

    QByteArray newStatementName() { return "ovtrack_" + QByteArray::number(++m_statements); }
    // Deallocates a statement's name outside transactions; a closed or lost session took it along.
    void release(QByteArray name);
    void releaseNames(); // those that waited for the end of a transaction or of a read

private:
    pg_conn *m_connection = nullptr;
    bool m_lost = false;
    QString m_lostMessage;
    PostgresRead *m_read = nullptr;
    std::vector<QByteArray> m_unreleased;
    quint64 m_statements = 0;
};

} // namespace db
