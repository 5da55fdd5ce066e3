#include "loader/MessageWriteLock.h"

#include "shared/tracking/DbConnection.h"
#include "shared/tracking/SqlDialect.h"

MessageWriteLocks::MessageWriteLocks(DbConnection &connection) : m_connection(connection), m_lock(connection)
{}

void MessageWriteLocks::hold(const QString &messageId)
{
    release();
    m_connection.beginTransaction(DbConnection::TransactionMode::Write);
    m_session = m_connection.sessionsOpened();
    try {
        const QString text = m_connection.dialect().messageLockSql();
        if (text.isEmpty())
            return;
        if (text != m_lock.text())
            m_lock.setText(text);
        m_lock.bind(QStringLiteral("MsgID"), ParamType::Text, messageId);
        m_lock.open();
    } catch (...) {
        release();
        throw;
    }
}

void MessageWriteLocks::commit()
{
    if (m_session == m_connection.sessionsOpened() && m_connection.inTransaction())
        m_connection.commit(); // when this fails, release() rolls back
    m_session = -1;
}

void MessageWriteLocks::release() noexcept
{
    const bool ours = m_session == m_connection.sessionsOpened() && m_connection.inTransaction();
    m_session = -1;
    if (!ours)
        return;
    try {
        m_connection.rollback();
    } catch (...) {
        // The session is gone or the transaction ended with it: nothing is held any more.
    }
}
