#include "shared/db/postgres/PostgresLink.h"

#include "shared/db/ConnectionTarget.h"

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
    // libpq skips an empty value: the environment's or its own default applies. Dates are asked for
    // in ISO form whatever the server's default style.
    const auto number = [](int value) { return value > 0 ? QByteArray::number(value) : QByteArray(); };
    const std::pair<const char *, QByteArray> settings[] = {
        {"host", target.hostName.toUtf8()},
        {"port", number(target.port)},
        {"dbname", target.databaseName.toUtf8()},
        {"user", target.userName.toUtf8()},
        {"password", target.password.toUtf8()},
        {"connect_timeout", number(target.connectTimeoutSeconds)},
        {"client_encoding", "UTF8"},
        {"options", "-c DateStyle=ISO"},
        {"fallback_application_name", QCoreApplication::applicationName().toUtf8()}};
    const char *keys[std::size(settings) + 1] = {}, *values[std::size(settings) + 1] = {};
    for (size_t i = 0; i < std::size(settings); ++i) {
        keys[i] = settings[i].first;
        values[i] = settings[i].second.constData();
    }
    m_connection = PQconnectdbParams(keys, values, 0);
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
    if (!m_lost) {
        interruptRead();
        releaseNames();
    }
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
    // What has arrived is read first (one read of the socket): a result that is whole by now needs
    // no cancel, which costs a connection of its own to the server.
    if (cancelOnServer)
        PQconsumeInput(m_connection);
    while (cancelOnServer && !PQisBusy(m_connection)) {
        PGresult *arrived = PQgetResult(m_connection);
        cancelOnServer = arrived != nullptr;
        PQclear(arrived);
    }
    if (cancelOnServer) {
        char reason[256];
        PGcancel *cancel = PQgetCancel(m_connection);
        PQcancel(cancel, reason, sizeof reason);
        PQfreeCancel(cancel);
    }
    while (PGresult *rest = PQgetResult(m_connection))
        PQclear(rest);
    if (PQstatus(m_connection) == CONNECTION_BAD)
        failure(nullptr);
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
    if (PQstatus(m_connection) == CONNECTION_BAD)
        failure(nullptr);
}

} // namespace db
