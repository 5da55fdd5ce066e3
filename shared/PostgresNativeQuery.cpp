#include "shared/PostgresNativeQuery.h"

#include "shared/DbConnection.h"
#include "shared/PostgresLibpq.h"

#include <libpq-fe.h>

std::unique_ptr<PostgresNativeQuery> PostgresNativeQuery::start(DbConnection &connection, const QByteArray &text,
                                                                const std::vector<QVariant> &values,
                                                                QSqlError &error)
{
    PGconn *conn = libpqSession(connection.database());
    if (!conn)
        return nullptr;
    std::unique_ptr<PostgresNativeQuery> query(new PostgresNativeQuery(conn));

    const PostgresParameters parameters(values, error);
    if (error.isValid())
        return query;
    if (!PQsendQueryParams(conn, text.constData(), parameters.count(), nullptr, parameters.values(),
                           parameters.lengths(), parameters.formats(), 0)) {
        error = postgresFailure(UnableToSendQuery, conn, nullptr);
        return query;
    }
    PQsetSingleRowMode(conn); // when refused, the rows come in one result, which reads the same
    query->m_owner = &connection;
    connection.setSessionReader(query.get());
    query->m_rowPending = query->fetch(error);
    if (query->m_current) {
        for (int i = 0; i < PQnfields(query->m_current); ++i)
            query->m_fieldNames.emplace_back(PQfname(query->m_current, i));
    }
    if (!query->m_rowPending)
        query->finish();
    return query;
}

PostgresNativeQuery::~PostgresNativeQuery()
{
    finish();
}

int PostgresNativeQuery::fieldIndex(QByteArrayView name) const
{
    for (std::size_t i = 0; i < m_fieldNames.size(); ++i) {
        if (QByteArrayView(m_fieldNames[i]).compare(name, Qt::CaseInsensitive) == 0)
            return int(i);
    }
    return -1;
}

bool PostgresNativeQuery::next(QSqlError &error)
{
    if (m_abandoned) {
        m_abandoned = false;
        error = QSqlError(QStringLiteral("QPSQL: Query results lost - probably discarded on executing another SQL "
                                         "query."),
                          QString(), QSqlError::StatementError);
        return false;
    }
    if (m_rowPending) {
        m_rowPending = false;
        return true;
    }
    if (!m_current)
        return false;
    if (m_row + 1 < PQntuples(m_current)) {
        ++m_row;
        return true;
    }
    if (!m_complete && fetch(error))
        return true;
    finish();
    return false;
}

PostgresRow PostgresNativeQuery::row() const
{
    return PostgresRow::at(m_current, m_row);
}

bool PostgresNativeQuery::fetch(QSqlError &error)
{
    PQclear(m_current);
    m_current = nullptr;
    m_row = 0;
    PGresult *result = PQgetResult(m_connection);
    if (!result) {
        // The result ended without the server's last word: the session is gone.
        error = postgresFailure(UnableToCreateQuery, m_connection, nullptr);
        return false;
    }
    switch (PQresultStatus(result)) {
    case PGRES_SINGLE_TUPLE:
        m_current = result;
        return true;
    case PGRES_TUPLES_OK:
    case PGRES_COMMAND_OK:
        m_current = result; // the descriptions of an empty result, or all of it in one
        m_complete = true;
        return PQntuples(result) > 0;
    default:
        error = postgresFailure(UnableToCreateQuery, m_connection, result);
        PQclear(result);
        return false;
    }
}

void PostgresNativeQuery::finish()
{
    end(true);
}

void PostgresNativeQuery::abandon(bool sessionEnding)
{
    const bool reading = m_current != nullptr || m_rowPending;
    end(!sessionEnding); // a session that ends drops the rest with it
    m_abandoned = reading;
}

void PostgresNativeQuery::end(bool drain)
{
    PQclear(m_current);
    m_current = nullptr;
    m_rowPending = false;
    if (!m_owner)
        return;
    if (drain) {
        while (PGresult *rest = PQgetResult(m_connection))
            PQclear(rest);
    }
    m_owner->releaseSessionReader(this);
    m_owner = nullptr;
}
