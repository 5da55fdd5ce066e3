#include "shared/db/postgres/PostgresSession.h"

#include "shared/db/ConnectionTarget.h"

#include <QCoreApplication>
#include <QStringEncoder>

#include <libpq-fe.h>

#include <cstdlib>

namespace db {

namespace {

using Result = std::unique_ptr<PGresult, decltype([](PGresult *result) { PQclear(result); })>;

// pg_type's numbers of the types read as something other than text.
constexpr Oid BoolOid = 16, ByteaOid = 17, Int8Oid = 20, Int2Oid = 21, Int4Oid = 23, OidOid = 26;
constexpr Oid DateOid = 1082, TimestampOid = 1114, TimestampTzOid = 1184;

// "yyyy-MM-dd[ HH:mm:ss[.ffffff][±zone]]" as written, never through local time, which would move a time inside a
// daylight-saving gap. The zone a timestamptz shows is left aside; "infinity", years past 9999 and dates before
// Christ read as no date-time.
QDateTime wallClock(QByteArrayView text)
{
    static constexpr char form[] = "0000-00-00 00:00:00"; // a digit where the form has 0
    const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    qsizetype end = text.size() > 10 ? 19 : 10;
    if (text.size() < end || text.endsWith(" BC"))
        return {};
    int field[6] = {}, at = 0, msec = 0; // year, month, day, hours, minutes, seconds
    for (qsizetype i = 0; i < end; ++i) {
        if (form[i] == '0' && isDigit(text[i]))
            field[at] = field[at] * 10 + text[i] - '0';
        else if (form[i] == text[i])
            ++at;
        else
            return {};
    }
    if (end < text.size() && text[end] == '.')
        for (int unit = 100; ++end < text.size() && isDigit(text[end]); unit /= 10)
            msec += (text[end] - '0') * unit;
    const QDate date(field[0], field[1], field[2]);
    const QTime time(field[3], field[4], field[5], msec);
    if ((end < text.size() && text[end] != '+' && text[end] != '-') || !date.isValid() || !time.isValid())
        return {};
    return QDateTime(date, time, Qt::UTC);
}

// A field of a text-format result as its column's type reads (see DbValue).
DbValue fieldValue(const PGresult *result, int row, int column)
{
    const char *text = PQgetvalue(result, row, column);
    const int length = PQgetlength(result, row, column);
    const Oid type = PQftype(result, column);
    if (PQgetisnull(result, row, column))
        return {};
    if (type == BoolOid)
        return qint64(text[0] == 't');
    if (type == Int8Oid || type == Int4Oid || type == Int2Oid || type == OidOid)
        return qint64(std::strtoll(text, nullptr, 10));
    if (type == ByteaOid) // "\x" and hex digits, as the session asks for
        return QByteArray::fromHex(QByteArray::fromRawData(text + 2, length - 2));
    if (type == DateOid || type == TimestampOid || type == TimestampTzOid)
        return wallClock(QByteArrayView(text, length));
    return QString::fromUtf8(text, length);
}

// A parameter as libpq takes it: text the server types itself, bytes as binary bytea, NULL as a null pointer.
// `text` keeps the converted text until the next run, which reuses its buffer.
const char *parameterValue(const DbValue &value, QByteArray &text, int &length, int &format)
{
    format = 0;
    if (const QString *string = std::get_if<QString>(&value)) {
        if (string->contains(QChar(0))) // libpq would cut the text short there without a word
            throw DbError(DbError::Kind::Data, QStringLiteral("A text holds a NUL character, which no text keeps"));
        text.resize(string->size() * 3);
        text.truncate(QStringEncoder(QStringEncoder::Utf8).appendToBuffer(text.data(), *string) - text.data());
    } else if (const qint64 *number = std::get_if<qint64>(&value)) {
        text.setNum(*number);
    } else if (const QDateTime *time = std::get_if<QDateTime>(&value); time && time->isValid()) {
        text = time->toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")).toLatin1();
    } else if (const QByteArray *bytes = std::get_if<QByteArray>(&value)) {
        length = static_cast<int>(bytes->size());
        format = 1;
        return bytes->constData();
    } else {
        return nullptr;
    }
    length = static_cast<int>(text.size());
    return text.constData();
}

// libpq gives no SQLSTATE for a failed connection: a server that answered with FATAL refused it (password,
// database, role), unless it is only starting, stopping or full for now; no answer means it could not be reached.
bool isRefusal(PGconn *connection, const QString &message)
{
    if (PQconnectionNeedsPassword(connection))
        return true;
    for (const char *passing :
         {"starting up", "shutting down", "recovery mode", "too many clients", "not yet accepting connections"})
        if (message.contains(QLatin1String(passing)))
            return false;
    return message.contains(QLatin1String("FATAL:"));
}

// One libpq connection, shared with the statements and cursors made on it: they may outlive the session, and then
// find the connection closed instead of freed.
struct Link
{
    explicit Link(const ConnectionTarget &target)
    {
        // An empty value lets libpq's defaults apply. Dates and bytes come in one form whatever the server's own.
        const auto number = [](int value) { return value > 0 ? QByteArray::number(value) : QByteArray(); };
        const QByteArray texts[] = {target.hostName.toUtf8(), number(target.port), target.databaseName.toUtf8(),
                                    target.userName.toUtf8(), target.password.toUtf8(),
                                    number(target.connectTimeoutSeconds), "UTF8",
                                    "-c DateStyle=ISO -c bytea_output=hex",
                                    QCoreApplication::applicationName().toUtf8()};
        const char *const keys[] = {"host", "port", "dbname", "user", "password", "connect_timeout", "client_encoding",
                                    "options", "fallback_application_name", nullptr};
        const char *values[std::size(keys)] = {};
        for (size_t i = 0; i < std::size(texts); ++i)
            values[i] = texts[i].constData();
        connection = PQconnectdbParams(keys, values, 0);
        if (PQstatus(connection) == CONNECTION_OK)
            return;
        const QString message = QString::fromUtf8(PQerrorMessage(connection)).trimmed();
        const bool refused = connection && isRefusal(connection, message);
        PQfinish(connection);
        throw DbError(refused ? DbError::Kind::Other : DbError::Kind::ConnectionLost, message);
    }

    void interruptRead()
    {
        if (auto *r = std::exchange(reader, nullptr))
            r->interrupt();
    }

    // Readies the connection for a command; a lost session refuses before it would touch the dead connection.
    void claim()
    {
        if (!connection)
            throw DbError(DbError::Kind::AccessLayer, QStringLiteral("The database session is closed"));
        if (!lost) {
            interruptRead();
            if (unreleased.size() >= 8) // a handful in one round trip
                releaseNames();
        }
        if (lost)
            throw DbError(DbError::Kind::ConnectionLost, lostMessage);
    }

    // Frees the connection from a read's command. What has arrived is read first (one read of the socket): a
    // result that is whole by now needs no cancel, which costs a connection of its own to the server.
    void endRead(bool cancelOnServer)
    {
        if (cancelOnServer)
            PQconsumeInput(connection);
        while (cancelOnServer && !PQisBusy(connection))
            cancelOnServer = Result(PQgetResult(connection)) != nullptr;
        if (cancelOnServer) {
            char reason[256];
            PGcancel *cancel = PQgetCancel(connection);
            PQcancel(cancel, reason, sizeof reason);
            PQfreeCancel(cancel);
        }
        while (PGresult *rest = PQgetResult(connection))
            PQclear(rest);
        // A pipeline ends with its sync's result; two empty reads in a row mean nothing more will come.
        for (int empty = 0; PQpipelineStatus(connection) && PQstatus(connection) == CONNECTION_OK && empty < 2;) {
            const Result rest{PQgetResult(connection)};
            empty = rest ? 0 : empty + 1;
            if (PQresultStatus(rest.get()) == PGRES_PIPELINE_SYNC)
                PQexitPipelineMode(connection);
        }
        if (PQstatus(connection) == CONNECTION_BAD)
            failure(nullptr);
    }

    // The failure a result (without one, the connection) reports; a lost connection marks the session lost for good.
    DbError failure(const PGresult *result)
    {
        const QString code = QString::fromLatin1(PQresultErrorField(result, PG_DIAG_SQLSTATE));
        QString message = QString::fromUtf8(PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY));
        if (message.isEmpty())
            message = QString::fromUtf8(PQresultErrorMessage(result)).trimmed();
        if (message.isEmpty())
            message = QString::fromUtf8(PQerrorMessage(connection)).trimmed();
        const DbError::Kind kind =
            PQstatus(connection) == CONNECTION_BAD ? DbError::Kind::ConnectionLost : sqlStateKind(code);
        if (kind == DbError::Kind::ConnectionLost && !std::exchange(lost, true))
            lostMessage = message;
        return DbError(kind, message, code);
    }

    // Deallocates the names of destroyed statements outside transactions and reads, in one text; a closed or lost
    // session took them along.
    void releaseNames()
    {
        if (unreleased.empty() || lost || reader || PQtransactionStatus(connection) != PQTRANS_IDLE)
            return;
        QByteArray deallocate;
        for (const QByteArray &name : std::exchange(unreleased, {}))
            deallocate += "DEALLOCATE " + name + ';';
        PQclear(PQexec(connection, deallocate.constData()));
        if (PQstatus(connection) == CONNECTION_BAD)
            failure(nullptr);
    }

    PGconn *connection = nullptr;
    bool lost = false;
    QString lostMessage;
    SessionCursor *reader = nullptr; // the read that holds the connection until it ends
    std::vector<QByteArray> unreleased;
    quint64 statements = 0;
};

// The rows of a prepared statement, one result per row (single-row mode), so that a large result is neither held
// whole nor read to its end when the reader stops early.
class PostgresCursor final : public SessionCursor
{
public:
    explicit PostgresCursor(std::shared_ptr<Link> link) : m_link(std::move(link))
    {
        m_link->reader = this;
        const bool rows = readResult(); // throws for a failed statement
        for (int column = 0; column < PQnfields(m_result.get()); ++column)
            m_names << QString::fromUtf8(PQfname(m_result.get(), column));
        m_row = -1;
        if (!rows)
            cancel(); // frees the connection at once
    }
    ~PostgresCursor() override { cancel(); }

    const QStringList &columnNames() const override { return m_names; }
    DbValue value(int column) const override
    {
        return atRow(column) ? fieldValue(m_result.get(), m_row, column) : DbValue();
    }
    bool isNull(int column) const override { return !atRow(column) || PQgetisnull(m_result.get(), m_row, column); }
    QByteArrayView utf8(int column) const override
    {
        const Oid type = atRow(column) ? PQftype(m_result.get(), column) : BoolOid;
        if (type == BoolOid || type == ByteaOid || type == DateOid || type == TimestampOid || type == TimestampTzOid)
            return Cursor::utf8(column); // types whose text on the server is not their value's
        return {PQgetvalue(m_result.get(), m_row, column), PQgetlength(m_result.get(), m_row, column)};
    }

private:
    bool fetch() override { return ++m_row < PQntuples(m_result.get()) || (!m_complete && readResult()); }

    void release(bool early) override
    {
        m_result.reset();
        m_link->reader = nullptr;
        m_link->endRead(early && !m_complete);
    }

    bool readResult()
    {
        m_result.reset(PQgetResult(m_link->connection));
        m_row = 0;
        // TUPLES_OK ends the rows, or holds them all when single-row mode was refused.
        const ExecStatusType status = PQresultStatus(m_result.get());
        m_complete = status != PGRES_SINGLE_TUPLE;
        if (status == PGRES_SINGLE_TUPLE || status == PGRES_TUPLES_OK || status == PGRES_COMMAND_OK)
            return PQntuples(m_result.get()) > 0;
        const DbError error = m_link->failure(m_result.get());
        cancel();
        throw error;
    }

    // Throws for a column the result lacks; true when a row is current.
    bool atRow(int column) const
    {
        if (column < 0 || column >= m_names.size())
            throw DbError(DbError::Kind::AccessLayer, QStringLiteral("The result has no column %1").arg(column));
        return m_result && m_row >= 0;
    }

    std::shared_ptr<Link> m_link;
    Result m_result; // the current row, or all rows when single-row mode was refused
    int m_row = 0;
    bool m_complete = false; // the server sent the last result
    QStringList m_names;
};

class PostgresStatement final : public Statement
{
public:
    PostgresStatement(std::shared_ptr<Link> link, ParameterText parameterText)
        : Statement(std::move(parameterText)), m_link(std::move(link)), m_texts(text().placeholders.size()),
          m_values(m_texts.size()), m_lengths(m_texts.size()), m_formats(m_texts.size())
    {
        m_link->claim();
        m_name = "ovtrack_" + QByteArray::number(++m_link->statements);
    }
    ~PostgresStatement() override
    {
        if (m_prepared)
            m_link->unreleased.push_back(std::move(m_name));
    }

    qint64 run() override
    {
        const bool preparing = send(false);
        Result result{PQgetResult(m_link->connection)}; // one statement: one result, after its preparation's
        if (preparing && PQresultStatus(result.get()) == PGRES_COMMAND_OK) {
            m_prepared = true;
            PQclear(PQgetResult(m_link->connection)); // the empty read that ends the preparation's results
            result.reset(PQgetResult(m_link->connection));
        }
        m_link->endRead(false);
        const ExecStatusType status = PQresultStatus(result.get());
        if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
            throw m_link->failure(result.get());
        return std::strtoll(PQcmdTuples(result.get()), nullptr, 10);
    }

    std::unique_ptr<Cursor> query() override
    {
        send(true);
        PQsetSingleRowMode(m_link->connection);
        return std::make_unique<PostgresCursor>(m_link);
    }

    bool isUsable() const override { return m_link->connection && !m_link->lost; }

private:
    // Sends a run. The first one prepares the statement: in the same round trip through a pipeline, or on its own
    // for a read row by row, which stays outside pipelines. Returns whether the preparation's result comes first.
    bool send(bool rowByRow)
    {
        for (size_t i = 0; i < m_values.size(); ++i)
            m_values[i] = parameterValue(placeholderValue(i), m_texts[i], m_lengths[i], m_formats[i]);
        m_link->claim();
        PGconn *connection = m_link->connection;
        const QByteArray sql = m_prepared ? QByteArray() : text().sql.toUtf8();
        const int count = static_cast<int>(m_values.size());
        if (!m_prepared && rowByRow) {
            const Result result{PQprepare(connection, m_name.constData(), sql.constData(), count, nullptr)};
            if (PQresultStatus(result.get()) != PGRES_COMMAND_OK)
                throw m_link->failure(result.get());
            m_prepared = true;
        }
        const bool pipelined = !m_prepared;
        if ((pipelined && !(PQenterPipelineMode(connection) &&
                            PQsendPrepare(connection, m_name.constData(), sql.constData(), count, nullptr))) ||
            !PQsendQueryPrepared(connection, m_name.constData(), count, m_values.data(), m_lengths.data(),
                                 m_formats.data(), 0) ||
            (pipelined && !PQpipelineSync(connection))) {
            // Cut half-way, a pipeline may stay open on a live connection: the session is not used again.
            if (PQpipelineStatus(connection) != PQ_PIPELINE_OFF && !std::exchange(m_link->lost, true))
                m_link->lostMessage = QString::fromUtf8(PQerrorMessage(connection)).trimmed();
            throw m_link->lost ? DbError(DbError::Kind::ConnectionLost, m_link->lostMessage) : m_link->failure(nullptr);
        }
        return pipelined;
    }

    std::shared_ptr<Link> m_link;
    QByteArray m_name;
    bool m_prepared = false; // under m_name, on the server
    std::vector<QByteArray> m_texts; // per placeholder, as parameterValue() fills them
    std::vector<const char *> m_values;
    std::vector<int> m_lengths, m_formats;
};

class PostgresSession final : public Session
{
public:
    explicit PostgresSession(const ConnectionTarget &target) : m_link(std::make_shared<Link>(target)) {}
    ~PostgresSession() override
    {
        m_link->interruptRead();
        PQfinish(std::exchange(m_link->connection, nullptr));
    }

    std::unique_ptr<Statement> prepare(const QString &text) override
    {
        return std::make_unique<PostgresStatement>(
            m_link, rewriteParameters(text, SqlSyntax::PostgreSql, PlaceholderStyle::Dollar));
    }

    // A one-off text runs as it is, in one round trip, without a name to prepare and release.
    qint64 execute(const QString &text) override
    {
        const QByteArray sql = rewriteParameters(text, SqlSyntax::PostgreSql, PlaceholderStyle::Dollar).sql.toUtf8();
        return std::strtoll(PQcmdTuples(command(sql).get()), nullptr, 10);
    }

    void begin(bool) override { command("BEGIN"); }
    void commit() override
    {
        // The server answers the commit of a failed transaction with a rollback, not an error.
        if (qstrcmp(PQcmdStatus(command("COMMIT").get()), "ROLLBACK") == 0)
            throw DbError(DbError::Kind::Other,
                          QStringLiteral("The transaction was rolled back: a statement in it had failed"));
    }
    void rollback() override { command("ROLLBACK"); }

    bool isLost() const override { return m_link->lost; }
    void cancel() override { m_link->interruptRead(); }

private:
    // Runs a text without parameters; returns its (last) result.
    Result command(const QByteArray &sql)
    {
        m_link->claim();
        Result result{PQexec(m_link->connection, sql.constData())};
        const ExecStatusType status = PQresultStatus(result.get());
        if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
            throw m_link->failure(result.get());
        return result;
    }

    std::shared_ptr<Link> m_link;
};

} // namespace

std::unique_ptr<Session> openPostgresSession(const ConnectionTarget &target)
{
    return std::make_unique<PostgresSession>(target);
}

} // namespace db
