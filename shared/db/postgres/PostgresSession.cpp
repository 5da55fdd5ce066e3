#include "shared/db/postgres/PostgresSession.h"

#include "shared/db/postgres/PostgresLink.h"
#include "shared/db/postgres/PostgresValues.h"

#include <libpq-fe.h>

#include <cstdlib>

namespace db {

namespace {

// The rows of a prepared statement, one result per row (single-row mode), so that a large result
// is neither held whole nor read to its end when the reader stops early.
class PostgresCursor final : public Cursor, private PostgresRead
{
public:
    // Reads the first result: throws DbError for a failed statement.
    explicit PostgresCursor(std::shared_ptr<PostgresLink> link) : m_link(std::move(link))
    {
        m_link->startRead(this);
        const bool rows = fetch();
        for (int column = 0; column < PQnfields(m_current.get()); ++column)
            m_names << QString::fromUtf8(PQfname(m_current.get(), column));
        m_row = -1;
        if (!rows)
            end(State::Ended);
    }
    ~PostgresCursor() override { cancel(); }

    bool next() override
    {
        if (m_state == State::Interrupted)
            throw DbError(DbError::Kind::Other,
                          QString::fromLatin1(ReadEndedMessage));
        if (m_state == State::Ended)
            return false;
        if (++m_row < PQntuples(m_current.get()) || (!m_complete && fetch()))
            return true;
        end(State::Ended);
        return false;
    }

    const QStringList &columnNames() const override { return m_names; }

    DbValue value(int column) const override
    {
        if (column < 0 || column >= m_names.size())
            throw DbError(DbError::Kind::AccessLayer,
                          QStringLiteral("The result has no column %1").arg(column));
        return m_current && m_row >= 0 ? postgresValue(m_current.get(), m_row, column) : DbValue{};
    }

    void cancel() override { end(State::Ended); }

private:
    enum class State
    {
        Reading,
        Ended,
        Interrupted // by another use of the session: the rest was not read
    };

    void interrupt() override { end(State::Interrupted); }

    bool fetch()
    {
        m_current.reset(PQgetResult(m_link->connection()));
        m_row = 0;
        switch (PQresultStatus(m_current.get())) {
        case PGRES_SINGLE_TUPLE:
            return true;
        case PGRES_TUPLES_OK: // the end of the rows, or all of them when single-row mode was refused
        case PGRES_COMMAND_OK:
            m_complete = true;
            return PQntuples(m_current.get()) > 0;
        default:
            const PostgresResult failed = std::move(m_current);
            m_complete = true;
            end(State::Ended);
            m_link->fail(failed.get());
        }
    }

    void end(State state)
    {
        if (m_state != State::Reading)
            return;
        m_state = state;
        m_current.reset();
        m_link->endRead(!m_complete);
    }

    std::shared_ptr<PostgresLink> m_link;
    PostgresResult m_current;
    int m_row = 0;
    bool m_complete = false; // the server sent the last result
    State m_state = State::Reading;
    QStringList m_names;
};

class PostgresStatement final : public Statement
{
public:
    PostgresStatement(std::shared_ptr<PostgresLink> link, ParameterText text)
        : Statement(std::move(text)), m_link(std::move(link)), m_parameters(this->text().placeholders.size())
    {
        m_link->claim();
        QByteArray name = m_link->newStatementName();
        if (!PQsendPrepare(m_link->connection(), name.constData(), this->text().sql.toUtf8().constData(),
                           m_parameters.count(), nullptr))
            m_link->fail(nullptr);
        const PostgresResult result = m_link->collect();
        if (PQresultStatus(result.get()) != PGRES_COMMAND_OK)
            m_link->fail(result.get());
        m_name = std::move(name);
    }
    ~PostgresStatement() override { m_link->release(std::move(m_name)); }

    qint64 run() override
    {
        send();
        const PostgresResult result = m_link->collect();
        const ExecStatusType status = PQresultStatus(result.get());
        if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
            m_link->fail(result.get());
        return std::strtoll(PQcmdTuples(result.get()), nullptr, 10);
    }

    std::unique_ptr<Cursor> query() override
    {
        send();
        PQsetSingleRowMode(m_link->connection());
        return std::make_unique<PostgresCursor>(m_link);
    }

    bool isUsable() const override { return m_link->isOpen() && !m_link->isLost(); }

private:
    void send()
    {
        for (size_t placeholder = 0; placeholder < text().placeholders.size(); ++placeholder)
            m_parameters.set(placeholder, placeholderValue(placeholder));
        m_link->claim();
        if (!PQsendQueryPrepared(m_link->connection(), m_name.constData(), m_parameters.count(),
                                 m_parameters.values(), m_parameters.lengths(), m_parameters.formats(), 0))
            m_link->fail(nullptr);
    }

    std::shared_ptr<PostgresLink> m_link;
    QByteArray m_name;
    PostgresParameters m_parameters;
};

class PostgresSession final : public Session
{
public:
    explicit PostgresSession(const ConnectionTarget &target) : m_link(std::make_shared<PostgresLink>(target))
    {}
    ~PostgresSession() override { m_link->close(); }

    std::unique_ptr<Statement> prepare(const QString &text) override
    {
        return std::make_unique<PostgresStatement>(
            m_link, rewriteParameters(text, SqlSyntax::PostgreSql, PlaceholderStyle::Dollar));
    }

    void begin(bool) override { command("BEGIN"); }
    void commit() override
    {
        // The server answers the commit of a failed transaction with a rollback, not an error.
        if (command("COMMIT") == "ROLLBACK")
            throw DbError(DbError::Kind::Other,
                          QStringLiteral("The transaction was rolled back: a statement in it had failed"));
    }
    void rollback() override { command("ROLLBACK"); }

    bool isLost() const override { return m_link->isLost(); }
    void cancel() override { m_link->interruptRead(); }

private:
    // Runs a transaction step; returns the server's command tag.
    QByteArray command(const char *sql)
    {
        m_link->claim();
        const PostgresResult result{PQexec(m_link->connection(), sql)};
        if (PQresultStatus(result.get()) != PGRES_COMMAND_OK)
            m_link->fail(result.get());
        QByteArray tag = PQcmdStatus(result.get());
        m_link->releaseNames();
        return tag;
    }

    std::shared_ptr<PostgresLink> m_link;
};

} // namespace

std::unique_ptr<Session> openPostgresSession(const ConnectionTarget &target)
{
    return std::make_unique<PostgresSession>(target);
}

} // namespace db
