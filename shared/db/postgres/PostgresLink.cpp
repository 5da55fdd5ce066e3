#include "shared/db/postgres/PostgresLink.h"

#include "shared/ConnectionString.h"

#include <QCoreApplication>

#include <libpq-fe.h>

namespace db {

namespace {

// libpq gives no SQLSTATE for a failed connection: a server that answered with FATAL refused it
// (password, database, role), unless it is only starting, stopping or full for now; no answer at
// all means it could not be reached.
bool isRefusal(pg_conn *connection, const QString &message)
{
    if (PQconnectionNeedsPassword(connection))
        return true;
    for (const char *passing : {"starting up", "shutting down", "recovery mode", "too many clients",
                                "not yet accepting connections"})
        if (message.contains(QLatin1String(passing)))
            return false;
    return message.contains(QLatin1String("FATAL:"));
}

} // namespace

void PostgresResultDeleter::operator()(pg_result *result) const
{
    PQclear(result);
}

PostgresLink::PostgresLink(const ConnectionTarget &target)
{
    std::vector<std::pair<const char *, QByteArray>> settings;
    const auto set = [&settings](const char *key, const QString &value) {
        if (!value.isEmpty())
            settings.emplace_back(key, value.toUtf8());
    };
    set("host", target.hostName);
    if (target.port > 0)
        set("port", QString::number(target.port));
    set("dbname", target.databaseName);
    set("user", target.userName);
    set("password", target.password);
    if (target.connectTimeoutSeconds > 0)
        set("connect_timeout", QString::number(target.connectTimeoutSeconds));
    set("client_encoding", QStringLiteral("UTF8"));
    // Dates are read in ISO form whatever the server's default style.
    set("options", QStringLiteral("-c DateStyle=ISO"));
    set("fallback_application_name", QCoreApplication::applicationName());
    std::vector<const char *> keys, values;
    for (const auto &[key, value] : settings) {
        keys.push_back(key);
        values.push_back(value.constData());
    }
    keys.push_back(nullptr);
    values.push_back(nullptr);

    m_connection = PQconnectdbParams(keys.data(), values.data(), 0);
    if (PQstatus(m_connection) == CONNECTION_OK)
        return;
    const QString message = QString::fromUtf8(PQerrorMessage(m_connection)).trimmed();
    const bool refused = m_connection && isRefusal(m_connection, message);
    PQfinish(m_connection);
    throw DbError(refused ? DbError::Kind::Other : DbError::Kind::ConnectionLost, message);
}

void PostgresLink::close()
{
    interruptRead();
    PQfinish(m_connection);
    m_connection = nullptr;
}

void PostgresLink::claim()
{
    if (!m_connection)
        throw DbError(DbError::Kind::AccessLayer, QStringLiteral("The database session is closed"));
    interruptRead();
    releaseNames();
    if (m_lost)
        throw DbError(DbError::Kind::ConnectionLost, m_lostMessage);
}

void PostgresLink::interruptRead()
{
    if (m_read)
        m_read->interrupt();
}

void PostgresLink::endRead(bool cancelOnServer)
{
    m_read = nullptr;
    if (cancelOnServer) {
        char reason[256];
        PGcancel *cancel = PQgetCancel(m_connection);
        PQcancel(cancel, reason, sizeof reason);
        PQfreeCancel(cancel);
    }
    while (PGresult *rest = PQgetResult(m_connection))
        PQclear(rest);
    checkConnection();
}

PostgresResult PostgresLink::collect()
{
    PostgresResult kept;
    while (PostgresResult result{PQgetResult(m_connection)}) {
        if (!kept || PQresultStatus(kept.get()) != PGRES_FATAL_ERROR)
            kept = std::move(result);
    }
    return kept;
}

DbError PostgresLink::failure(const pg_result *result)
{
    QString code, message;
    if (result) {
        code = QString::fromLatin1(PQresultErrorField(result, PG_DIAG_SQLSTATE));
        message = QString::fromUtf8(PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY));
        if (message.isEmpty())
            message = QString::fromUtf8(PQresultErrorMessage(result)).trimmed();
    }
    if (message.isEmpty())
        message = QString::fromUtf8(PQerrorMessage(m_connection)).trimmed();
    DbError::Kind kind = sqlStateKind(code);
    if (PQstatus(m_connection) == CONNECTION_BAD)
        kind = DbError::Kind::ConnectionLost;
    if (kind == DbError::Kind::ConnectionLost && !m_lost) {
        m_lost = true;
        m_lostMessage = message;
    }
    return DbError(kind, message, code);
}

void PostgresLink::release(QByteArray name)
{
    if (!m_connection || m_lost)
        return;
    m_unreleased.push_back(std::move(name));
    if (!m_read)
        releaseNames();
}

void PostgresLink::releaseNames()
{
    if (m_unreleased.empty() || m_lost || PQtransactionStatus(m_connection) != PQTRANS_IDLE)
        return;
    QByteArray deallocate;
    for (const QByteArray &name : m_unreleased)
        deallocate += "DEALLOCATE " + name + ';';
    m_unreleased.clear();
    PQclear(PQexec(m_connection, deallocate.constData()));
    checkConnection();
}

void PostgresLink::checkConnection()
{
    if (!m_lost && PQstatus(m_connection) == CONNECTION_BAD)
        failure(nullptr);
}

} // namespace db
