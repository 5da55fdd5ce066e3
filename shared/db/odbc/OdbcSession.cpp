#include "shared/db/odbc/OdbcSession.h"

#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <utility>

namespace db {

DbError::Kind odbcErrorKind(const QString &sqlState, int native, SqlSyntax syntax)
{
    if (syntax == SqlSyntax::SqlServer) {
        if (native == 2627 || native == 2601)
            return DbError::Kind::DuplicateKey;
        // A broken or timed-out link (64, 121, 233, 10053, 10054, 10060), a killed session (596), a
        // shutdown (6005), a deadlock victim (1205), a lock time-out (1222): the work may succeed anew.
        static constexpr int Lost[] = {64, 121, 233, 10053, 10054, 10060, 596, 6005, 1205, 1222};
        if (std::ranges::find(Lost, native) != std::end(Lost))
            return DbError::Kind::ConnectionLost;
    }
    return sqlStateKind(sqlState);
}

namespace {

QString fromWide(const SQLWCHAR *text, qsizetype length)
{
    return QString::fromUtf16(reinterpret_cast<const char16_t *>(text), length);
}

SQLWCHAR *wide(const QString &text)
{
    return const_cast<SQLWCHAR *>(reinterpret_cast<const SQLWCHAR *>(text.utf16()));
}

// What a session shares with its statements and cursors, which may outlive it.
struct Link
{
    explicit Link(SqlSyntax rules) : syntax(rules) {}
    SqlSyntax syntax;
    SQLHENV environment = SQL_NULL_HENV;
    SQLHDBC connection = SQL_NULL_HDBC;
    bool lost = false;
    SessionCursor *reader = nullptr;  // the open read, which any other use of the session interrupts
    std::vector<SQLHSTMT> statements; // freed by their last owner or, before the connection, by close()

    ~Link() { close(); }
    bool isUsable() const { return connection != SQL_NULL_HDBC && !lost; }

    void interruptReader()
    {
        if (auto *r = std::exchange(reader, nullptr))
            r->interrupt();
    }

    // What every use of the session does first.
    void beginUse()
    {
        if (lost)
            throw DbError(DbError::Kind::ConnectionLost, QStringLiteral("The connection to the database was lost"));
        if (connection == SQL_NULL_HDBC)
            throw DbError(DbError::Kind::AccessLayer, QStringLiteral("The database session is closed"));
        interruptReader();
    }

    void close()
    {
        interruptReader();
        for (SQLHSTMT statement : std::exchange(statements, {}))
            SQLFreeHandle(SQL_HANDLE_STMT, statement);
        // Once closed, the handles are null, which the driver manager refuses harmlessly.
        SQLDisconnect(connection);
        SQLFreeHandle(SQL_HANDLE_DBC, std::exchange(connection, nullptr));
        SQLFreeHandle(SQL_HANDLE_ENV, std::exchange(environment, nullptr));
    }

    void checkConnection(SQLRETURN result) { check(result, connection, SQL_HANDLE_DBC); }

    // Throws the diagnostics of a failed call, marking the session lost when they say it is gone.
    void check(SQLRETURN result, SQLHANDLE handle, SQLSMALLINT handleType = SQL_HANDLE_STMT)
    {
        if (SQL_SUCCEEDED(result) || result == SQL_NO_DATA)
            return;
        QString code;
        QStringList messages;
        DbError::Kind kind = DbError::Kind::Other;
        SQLWCHAR state[6] = {}, text[1024] = {};
        SQLINTEGER native = 0;
        SQLSMALLINT length = 0;
        for (SQLSMALLINT record = 1;
             SQL_SUCCEEDED(SQLGetDiagRecW(handleType, handle, record, state, &native, text, 1024, &length)); ++record) {
            code = code.isEmpty() ? fromWide(state, 5) : code;
            messages << fromWide(text, std::clamp<qsizetype>(length, 0, 1023));
            // The first record that says what happened decides; later ones often only add context.
            if (kind == DbError::Kind::Other)
                kind = odbcErrorKind(fromWide(state, 5), native, syntax);
        }
        if (messages.isEmpty())
            messages << QStringLiteral("The ODBC driver failed without giving a reason");
        lost = lost || kind == DbError::Kind::ConnectionLost;
        throw DbError(kind, messages.join(u'\n'), code);
    }
};

// The C type a column is read as: integers, wall-clock times and bytes as such, the rest as text.
SQLSMALLINT readType(SQLSMALLINT sqlType)
{
    const auto among = [sqlType](std::initializer_list<SQLSMALLINT> types) {
        return std::ranges::find(types, sqlType) != types.end();
    };
    if (among({SQL_TINYINT, SQL_SMALLINT, SQL_INTEGER, SQL_BIGINT}))
        return SQL_C_SBIGINT;
    if (among({SQL_TYPE_TIMESTAMP, SQL_TYPE_DATE, SQL_TIMESTAMP, SQL_DATE}))
        return SQL_C_TYPE_TIMESTAMP;
    return among({SQL_BINARY, SQL_VARBINARY, SQL_LONGVARBINARY}) ? SQL_C_BINARY : SQL_C_WCHAR;
}

// The rows of an executed statement handle, each read whole at the fetch.
class OdbcCursor final : public SessionCursor
{
public:
    OdbcCursor(std::shared_ptr<Link> link, std::shared_ptr<void> statement)
        : m_link(std::move(link)), m_statement(std::move(statement))
    {
        m_link->reader = this;
    }
    ~OdbcCursor() override { cancel(); }

    void describe()
    {
        const SQLHSTMT handle = m_statement.get();
        SQLSMALLINT columns = 0;
        m_link->check(SQLNumResultCols(handle, &columns), handle);
        for (SQLUSMALLINT column = 1; column <= columns; ++column) {
            SQLWCHAR name[256] = {};
            SQLSMALLINT length = 0, type = 0, digits = 0, nullable = 0;
            SQLULEN size = 0;
            m_link->check(SQLDescribeColW(handle, column, name, 256, &length, &type, &size, &digits, &nullable),
                          handle);
            m_names << fromWide(name, std::clamp<qsizetype>(length, 0, 255));
            m_readTypes.push_back(readType(type));
        }
        m_row.resize(m_readTypes.size());
    }

    const QStringList &columnNames() const override { return m_names; }
    DbValue value(int column) const override { return m_row.at(column); }

protected:
    bool fetch() override
    {
        const SQLRETURN result = SQLFetch(m_statement.get());
        if (result == SQL_NO_DATA)
            return false;
        m_link->check(result, m_statement.get());
        for (size_t column = 0; column < m_readTypes.size(); ++column)
            m_row[column] = read(SQLUSMALLINT(column + 1), m_readTypes[column]);
        return true;
    }

    void release(bool early) override
    {
        if (m_link->reader == this)
            m_link->reader = nullptr;
        m_row.assign(m_row.size(), DbValue{});
        if (early && m_link->isUsable())
            SQLCancel(m_statement.get()); // a driver that streams rows (FreeTDS) stops the server's sending
        if (m_link->isUsable())
            SQLFreeStmt(m_statement.get(), SQL_CLOSE);
    }

private:
    DbValue read(SQLUSMALLINT column, SQLSMALLINT cType)
    {
        const SQLHSTMT handle = m_statement.get();
        SQLLEN indicator = 0;
        const auto get = [&](auto &value) {
            m_link->check(SQLGetData(handle, column, cType, &value, sizeof value, &indicator), handle);
            return indicator != SQL_NULL_DATA;
        };
        if (qint64 number = 0; cType == SQL_C_SBIGINT)
            return get(number) ? DbValue{number} : DbValue{};
        // Stored times are wall-clock values: labelled UTC, never moved through local time.
        if (SQL_TIMESTAMP_STRUCT t = {}; cType == SQL_C_TYPE_TIMESTAMP)
            return get(t) ? DbValue{QDateTime(QDate(t.year, t.month, t.day),
                                              QTime(t.hour, t.minute, t.second, int(t.fraction / 1000000)), Qt::UTC)}
                          : DbValue{};
        // Long values come in chunks; a text chunk ends in a terminator the driver leaves out of the length.
        char chunk[16384];
        const SQLLEN room = SQLLEN(sizeof chunk) - (cType == SQL_C_WCHAR ? SQLLEN(sizeof(SQLWCHAR)) : 0);
        QByteArray bytes;
        for (bool whole = false; !whole;) {
            const SQLRETURN result = SQLGetData(handle, column, cType, chunk, sizeof chunk, &indicator);
            if (result == SQL_NO_DATA)
                break;
            m_link->check(result, handle);
            if (indicator == SQL_NULL_DATA)
                return {};
            whole = indicator != SQL_NO_TOTAL && indicator <= room;
            bytes.append(chunk, whole ? indicator : room);
        }
        if (cType == SQL_C_BINARY)
            return bytes;
        return QString::fromUtf16(reinterpret_cast<const char16_t *>(bytes.constData()), bytes.size() / 2);
    }

    std::shared_ptr<Link> m_link;
    std::shared_ptr<void> m_statement;
    QStringList m_names;
    std::vector<SQLSMALLINT> m_readTypes; // per column
    std::vector<DbValue> m_row;
};

class OdbcStatement final : public Statement
{
public:
    OdbcStatement(std::shared_ptr<Link> link, ParameterText text) : Statement(std::move(text)), m_link(std::move(link))
    {
        SQLHSTMT handle = nullptr;
        m_link->checkConnection(SQLAllocHandle(SQL_HANDLE_STMT, m_link->connection, &handle));
        m_link->statements.push_back(handle);
        m_statement = {handle, [link = m_link](SQLHSTMT handle) {
                           if (std::erase(link->statements, handle))
                               SQLFreeHandle(SQL_HANDLE_STMT, handle);
                       }};
        m_link->check(SQLPrepareW(handle, wide(this->text().sql), SQL_NTS), handle);
    }

    qint64 run() override
    {
        execute();
        SQLLEN rows = 0; // -1 where the driver cannot tell
        const SQLRETURN counted = SQLRowCount(m_statement.get(), &rows);
        SQLFreeStmt(m_statement.get(), SQL_CLOSE);
        m_link->check(counted, m_statement.get());
        return std::max<qint64>(rows, 0);
    }

    std::unique_ptr<Cursor> query() override
    {
        execute();
        auto cursor = std::make_unique<OdbcCursor>(m_link, m_statement);
        cursor->describe();
        return cursor;
    }

    bool isUsable() const override { return m_link->isUsable(); }

private:
    // What the driver reads of a "?" at the execution, beside the value itself.
    struct Buffer
    {
        SQLLEN indicator = 0;
        SQL_TIMESTAMP_STRUCT time = {};
    };

    void execute()
    {
        const size_t count = text().placeholders.size();
        for (size_t i = 0; i < count; ++i)
            if (const auto *text = std::get_if<QString>(&placeholderValue(i)); text && text->contains(QChar(0)))
                throw DbError(DbError::Kind::Data, QStringLiteral("A text value holds a NUL character"));
        m_link->beginUse();
        std::vector<Buffer> buffers(count);
        for (size_t i = 0; i < count; ++i)
            bind(SQLUSMALLINT(i + 1), placeholderValue(i), buffers[i]);
        m_link->check(SQLExecute(m_statement.get()), m_statement.get());
    }

    // Values longer than SQL Server's plain types go as its long ones, nvarchar(max) and varbinary(max).
    void bind(SQLUSMALLINT parameter, const DbValue &value, Buffer &buffer)
    {
        const auto bindAs = [&](SQLSMALLINT cType, SQLSMALLINT sqlType, qsizetype size, const void *data, SQLLEN length,
                                SQLSMALLINT digits = 0) {
            buffer.indicator = length;
            m_link->check(SQLBindParameter(m_statement.get(), parameter, SQL_PARAM_INPUT, cType, sqlType,
                                           std::max<qsizetype>(size, 1), digits, const_cast<void *>(data),
                                           std::max<SQLLEN>(length, 0), &buffer.indicator),
                          m_statement.get());
        };
        if (const auto *text = std::get_if<QString>(&value)) {
            bindAs(SQL_C_WCHAR, text->size() > 4000 ? SQL_WLONGVARCHAR : SQL_WVARCHAR, text->size(), text->utf16(),
                   text->size() * 2);
        } else if (const auto *number = std::get_if<qint64>(&value)) {
            bindAs(SQL_C_SBIGINT, SQL_BIGINT, 19, number, sizeof *number);
        } else if (const auto *bytes = std::get_if<QByteArray>(&value)) {
            bindAs(SQL_C_BINARY, bytes->size() > 8000 ? SQL_LONGVARBINARY : SQL_VARBINARY, bytes->size(), bytes->data(),
                   bytes->size());
        } else if (const auto *t = std::get_if<QDateTime>(&value)) {
            // The wall clock as labelled, whatever the label: no zone conversion.
            const QDate d = t->date();
            const QTime c = t->time();
            buffer.time = {SQLSMALLINT(d.year()),          SQLUSMALLINT(d.month()),  SQLUSMALLINT(d.day()),
                           SQLUSMALLINT(c.hour()),         SQLUSMALLINT(c.minute()), SQLUSMALLINT(c.second()),
                           SQLUINTEGER(c.msec()) * 1000000};
            bindAs(SQL_C_TYPE_TIMESTAMP, SQL_TYPE_TIMESTAMP, 23, &buffer.time,
                   t->isValid() ? SQLLEN(sizeof buffer.time) : SQL_NULL_DATA, 3);
        } else {
            bindAs(SQL_C_WCHAR, SQL_WVARCHAR, 1, nullptr, SQL_NULL_DATA); // a NULL goes as a text
        }
    }

    std::shared_ptr<Link> m_link;
    std::shared_ptr<void> m_statement; // a statement handle, shared with its cursors
};

class OdbcSession final : public Session
{
public:
    OdbcSession(const QString &connectionString, SqlSyntax syntax, int loginTimeoutSeconds)
        : m_link(std::make_shared<Link>(syntax))
    {
        Link &link = *m_link;
        link.check(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &link.environment), nullptr, SQL_HANDLE_ENV);
        SQLSetEnvAttr(link.environment, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
        link.check(SQLAllocHandle(SQL_HANDLE_DBC, link.environment, &link.connection), link.environment,
                   SQL_HANDLE_ENV);
        if (loginTimeoutSeconds > 0)
            SQLSetConnectAttr(link.connection, SQL_ATTR_LOGIN_TIMEOUT,
                              reinterpret_cast<SQLPOINTER>(SQLULEN(loginTimeoutSeconds)), 0);
        // An unreachable server is ConnectionLost (08001, HYT00); a refused login or a missing driver is Other.
        link.checkConnection(SQLDriverConnectW(link.connection, nullptr, wide(connectionString), SQL_NTS, nullptr, 0,
                                               nullptr, SQL_DRIVER_NOPROMPT));
    }
    ~OdbcSession() override { m_link->close(); }

    std::unique_ptr<Statement> prepare(const QString &text) override
    {
        m_link->beginUse();
        return std::make_unique<OdbcStatement>(m_link,
                                               rewriteParameters(text, m_link->syntax, PlaceholderStyle::Positional));
    }

    // A transaction is the time autocommit is off.
    void begin(bool) override { setAutocommit(SQL_AUTOCOMMIT_OFF); }
    void commit() override { endTransaction(SQL_COMMIT); }
    void rollback() override { endTransaction(SQL_ROLLBACK); }
    bool isLost() const override { return m_link->lost; }
    void cancel() override { m_link->interruptReader(); }

private:
    void setAutocommit(SQLULEN value)
    {
        m_link->beginUse();
        m_link->checkConnection(
            SQLSetConnectAttr(m_link->connection, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(value), 0));
    }

    void endTransaction(SQLSMALLINT completion)
    {
        m_link->beginUse();
        m_link->checkConnection(SQLEndTran(SQL_HANDLE_DBC, m_link->connection, completion));
        setAutocommit(SQL_AUTOCOMMIT_ON);
    }

    std::shared_ptr<Link> m_link;
};

} // namespace

std::unique_ptr<Session> openOdbcSession(const QString &connectionString, SqlSyntax syntax, int loginTimeoutSeconds)
{
    return std::make_unique<OdbcSession>(connectionString, syntax, loginTimeoutSeconds);
}

} // namespace db
