#include "shared/PostgresNativeQuery.h"

#include "shared/DbConnection.h"
#include "shared/QtDriverHandle.h"

#include <QSqlDriver>

#include <libpq-fe.h>

namespace {

constexpr int TextFormat = 0;
constexpr int BinaryFormat = 1;

// The driver's own words for its failures, so that a message reads the same whichever way the
// statement went.
QString driverText(const char *what)
{
    return QStringLiteral("QPSQL: ") + QString::fromLatin1(what);
}

} // namespace

std::unique_ptr<PostgresNativeQuery> PostgresNativeQuery::start(DbConnection &connection, const QByteArray &text,
                                                                const std::vector<QVariant> &values,
                                                                QSqlError &error)
{
    const QSqlDatabase database = connection.database();
    PGconn *conn = qtDriverHandle<PGconn>(database.driver() ? database.driver()->handle() : QVariant(),
                                          {"pg_conn*", "PGconn*"});
    if (!conn)
        return nullptr;
    std::unique_ptr<PostgresNativeQuery> query(new PostgresNativeQuery(connection, conn));

    std::vector<QByteArray> bytes(values.size());
    std::vector<const char *> pointers(values.size(), nullptr);
    std::vector<int> lengths(values.size(), 0);
    std::vector<int> formats(values.size(), TextFormat);
    for (std::size_t i = 0; i < values.size(); ++i) {
        const QVariant &value = values[i];
        if (value.isNull())
            continue;
        if (value.metaType().id() == QMetaType::QByteArray) {
            bytes[i] = value.toByteArray();
            formats[i] = BinaryFormat; // bytea: every byte as it is
        } else {
            bytes[i] = value.toString().toUtf8();
        }
        pointers[i] = bytes[i].constData();
        lengths[i] = int(bytes[i].size());
    }
    if (!PQsendQueryParams(conn, text.constData(), int(values.size()), nullptr, pointers.data(), lengths.data(),
                           formats.data(), TextFormat)) {
        error = query->failure("Unable to send query", nullptr);
        query->m_owner = nullptr;
        return query;
    }
    PQsetSingleRowMode(conn); // when refused, the rows come in one result, which reads the same
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
        error = QSqlError(driverText("Query results lost - probably discarded on executing another SQL query."),
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
    return PostgresRow(m_current, m_row);
}

bool PostgresNativeQuery::fetch(QSqlError &error)
{
    PQclear(m_current);
    m_current = nullptr;
    m_row = 0;
    PGresult *result = PQgetResult(m_connection);
    if (!result) {
        // The result ended without the server's last word: the session is gone.
        error = failure("Unable to create query", nullptr);
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
        error = failure("Unable to create query", result);
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

QSqlError PostgresNativeQuery::failure(const char *what, pg_result *result) const
{
    QString message = QString::fromUtf8(result ? PQresultErrorMessage(result) : PQerrorMessage(m_connection));
    QString code;
    if (result) {
        code = QString::fromLatin1(PQresultErrorField(result, PG_DIAG_SQLSTATE));
        message += QStringLiteral("(%1)").arg(code);
    }
    return QSqlError(driverText(what), message, QSqlError::StatementError, code);
}
