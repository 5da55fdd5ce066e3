#pragma once

#include "shared/tracking/DbStatement.h"

#include <QString>

class DbConnection;

// The lock of one message id for the import of one tracking line. The line's lookup decides
// between insert and update and whether a status moves forward; another loader writing the same
// message between that lookup and the writes would make two rows or move a status back. So the
// line runs in one write transaction that holds the id from before the lookup to its commit.
class MessageWriteLocks
{
public:
    explicit MessageWriteLocks(DbConnection &connection);

    // Begins the write transaction and holds `messageId` in it. Throws DbError.
    void hold(const QString &messageId);
    // Commits the transaction begun by hold() when the session that began it still has it open:
    // a reconnect in between ended it. Throws DbError.
    void commit();
    // Rolls back what commit() did not end; never throws.
    void release() noexcept;

private:
    DbConnection &m_connection;
    DbStatement m_lock;
    int m_session = -1; // the connection's session that holds the transaction (sessionsOpened()); -1 when none
};

// Holds a message for a scope: what is not committed is rolled back when the scope ends.
class MessageWriteScope
{
public:
    MessageWriteScope(MessageWriteLocks &locks, const QString &messageId) : m_locks(locks)
    {
        m_locks.hold(messageId);
    }
    ~MessageWriteScope() { m_locks.release(); }
    MessageWriteScope(const MessageWriteScope &) = delete;
    MessageWriteScope &operator=(const MessageWriteScope &) = delete;

    void commit() { m_locks.commit(); }

private:
    MessageWriteLocks &m_locks;
};
