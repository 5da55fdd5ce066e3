#include "shared/PostgresPreparedStatement.h"

#include "shared/DbConnection.h"
#include "shared/PostgresLibpq.h"
#include "shared/PostgresRow.h"

#include <libpq-fe.h>

#include <atomic>

namespace {

// Names no other statement of the process takes, and none of the driver's ("qpsqlpstmt_").
QByteArray nextName()
{
    static std::atomic<quint64> count{0};
    return "ovtrack_" + QByteArray::number(++count);
}

// What a statement run through libpq did: the rows it changed or read, or -1 with `error` set. The
// rows are read into `rows` and `fieldNames` when given.
int outcome(pg_conn *session, PGresult *result, const char *what, QSqlError &error,
            std::vector<std::vector<QVariant>> *rows = nullptr, QStringList *fieldNames = nullptr)
{
    const ExecStatusType status = PQresultStatus(result);
    int count = -1;
    if (status == PGRES_COMMAND_OK) {
        count = QByteArray(PQcmdTuples(result)).toInt();
    } else if (status == PGRES_TUPLES_OK) {
        count = PQntuples(result);
        if (fieldNames) {
            fieldNames->clear();
            for (int column = 0; column < PQnfields(result); ++column)
                *fieldNames << QString::fromUtf8(PQfname(result, column));
        }
        for (int row = 0; rows && row < count; ++row) {
            const PostgresRow source = PostgresRow::at(result, row);
            std::vector<QVariant> &values = rows->emplace_back();
            values.reserve(std::size_t(PQnfields(result)));
            for (int column = 0; column < PQnfields(result); ++column)
                values.push_back(source.value(column));
        }
    } else {
        error = postgresFailure(what, session, result);
    }
    PQclear(result);
    return count;
}

} // namespace

std::unique_ptr<PostgresPreparedStatement>
PostgresPreparedStatement::prepare(DbConnection &connection, const QByteArray &text, QSqlError &error)
{
    PGconn *session = libpqSession(connection.database());
    if (!session)
        return nullptr;
    QByteArray name = nextName();
    if (outcome(session, PQprepare(session, name.constData(), text.constData(), 0, nullptr), UnableToPrepare,
                error) < 0)
        return nullptr;
    return std::unique_ptr<PostgresPreparedStatement>(
        new PostgresPreparedStatement(connection, session, std::move(name)));
}

PostgresPreparedStatement::PostgresPreparedStatement(DbConnection &connection, pg_conn *session, QByteArray name)
    : m_connection(connection), m_connectionLifetime(connection.lifetime()), m_generation(connection.generation()),
      m_session(session), m_name(std::move(name))
{}

PostgresPreparedStatement::~PostgresPreparedStatement()
{
    // A session that has ended took the name with it; one that is busy reading keeps it till it ends.
    if (m_connectionLifetime.expired() || m_connection.generation() != m_generation ||
        m_connection.hasSessionReader() || PQtransactionStatus(m_session) == PQTRANS_ACTIVE)
        return;
    const QByteArray deallocate = "DEALLOCATE " + m_name;
    PQclear(PQexec(m_session, deallocate.constData()));
}

int PostgresPreparedStatement::run(const std::vector<QVariant> &values, std::vector<std::vector<QVariant>> *rows,
                                   QStringList *fieldNames, QSqlError &error)
{
    const PostgresParameters parameters(values, error);
    if (error.isValid())
        return -1;
    return outcome(m_session,
                   PQexecPrepared(m_session, m_name.constData(), parameters.count(), parameters.values(),
                                  parameters.lengths(), parameters.formats(), 0),
                   UnableToCreateQuery, error, rows, fieldNames);
}
