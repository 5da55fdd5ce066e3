#include "shared/db/odbc/OdbcLink.h"

#include "shared/db/odbc/OdbcCursor.h"

#include <algorithm>

namespace db {

namespace {

// SQL Server's own numbers for a session that is gone or must be tried anew: 64, 121, 233, 10053,
// 10054, 10060 a broken or timed-out link; 596 a killed session; 6005 a shutdown; 1205 a deadlock
// victim; 1222 a lock time-out.
bool sqlServerSessionLost(SQLINTEGER native)
{
    static constexpr SQLINTEGER Numbers[] = {64, 121, 233, 10053, 10054, 10060, 596, 6005, 1205, 1222};
    return std::find(std::begin(Numbers), std::end(Numbers), native) != std::end(Numbers);
}

DbError::Kind recordKind(const QString &state, SQLINTEGER native, SqlSyntax syntax)
{
    if (syntax == SqlSyntax::SqlServer) {
        if (native == 2627 || native == 2601)
            return DbError::Kind::DuplicateKey;
        if (sqlServerSessionLost(native) || state == QLatin1String("40001"))
            return DbError::Kind::ConnectionLost;
    }
    return sqlStateKind(state);
}

QString fromWide(const SQLWCHAR *text, qsizetype length)
{
    return QString::fromUtf16(reinterpret_cast<const char16_t *>(text), length);
}

} // namespace

void OdbcStatementHandle::free()
{
    if (handle != SQL_NULL_HSTMT)
        SQLFreeHandle(SQL_HANDLE_STMT, handle);
    handle = SQL_NULL_HSTMT;
}

void OdbcLink::connect(const QString &connectionString, int loginTimeoutSeconds)
{
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &m_environment)))
        throw DbError(DbError::Kind::Other,
                      QStringLiteral("The ODBC driver manager has no environment to give"));
    SQLSetEnvAttr(m_environment, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    check(SQLAllocHandle(SQL_HANDLE_DBC, m_environment, &m_connection), SQL_HANDLE_ENV, m_environment);
    if (loginTimeoutSeconds > 0)
        SQLSetConnectAttr(m_connection, SQL_ATTR_LOGIN_TIMEOUT,
                          reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(loginTimeoutSeconds)), 0);
    auto *text = const_cast<SQLWCHAR *>(reinterpret_cast<const SQLWCHAR *>(connectionString.utf16()));
    const SQLRETURN result =
        SQLDriverConnectW(m_connection, nullptr, text, SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
    if (SQL_SUCCEEDED(result))
        return;
    const DbError error = diagnostics(SQL_HANDLE_DBC, m_connection);
    close();
    // Anything but an unreachable server (a login refused, a driver missing) is no better at once.
    throw DbError(error.isConnectionLost() ? DbError::Kind::ConnectionLost : DbError::Kind::Other,
                  error.message(), error.code());
}

void OdbcLink::close()
{
    if (m_read)
        m_read->interrupt();
    for (const auto &statement : m_statements)
        if (auto handle = statement.lock())
            handle->free();
    m_statements.clear();
    if (m_connection != SQL_NULL_HDBC) {
        SQLDisconnect(m_connection);
        SQLFreeHandle(SQL_HANDLE_DBC, m_connection);
        m_connection = SQL_NULL_HDBC;
    }
    if (m_environment != SQL_NULL_HENV)
        SQLFreeHandle(SQL_HANDLE_ENV, m_environment);
    m_environment = SQL_NULL_HENV;
}

void OdbcLink::beginUse()
{
    if (m_lost)
        throw DbError(DbError::Kind::ConnectionLost,
                      QStringLiteral("The connection to the database was lost"));
    if (m_connection == SQL_NULL_HDBC)
        throw DbError(DbError::Kind::AccessLayer, QStringLiteral("The database session is closed"));
    if (m_read)
        m_read->interrupt();
}

std::shared_ptr<OdbcStatementHandle> OdbcLink::newStatement()
{
    auto statement = std::make_shared<OdbcStatementHandle>();
    check(SQLAllocHandle(SQL_HANDLE_STMT, m_connection, &statement->handle), SQL_HANDLE_DBC, m_connection);
    std::erase_if(m_statements, [](const auto &known) { return known.expired(); });
    m_statements.push_back(statement);
    return statement;
}

void OdbcLink::readEnded(const OdbcCursor *read)
{
    if (m_read == read)
        m_read = nullptr;
}

void OdbcLink::check(SQLRETURN result, SQLSMALLINT handleType, SQLHANDLE handle)
{
    if (SQL_SUCCEEDED(result) || result == SQL_NO_DATA)
        return;
    DbError error = diagnostics(handleType, handle);
    m_lost = m_lost || error.isConnectionLost();
    throw error;
}

DbError OdbcLink::diagnostics(SQLSMALLINT handleType, SQLHANDLE handle) const
{
    QString code;
    QStringList messages;
    DbError::Kind kind = DbError::Kind::Other;
    SQLWCHAR state[6] = {};
    SQLWCHAR text[1024] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    for (SQLSMALLINT record = 1;
         SQL_SUCCEEDED(SQLGetDiagRecW(handleType, handle, record, state, &native, text, 1024, &length));
         ++record) {
        const QString recordState = fromWide(state, 5);
        if (code.isEmpty())
            code = recordState;
        messages << fromWide(text, std::clamp<qsizetype>(length, 0, 1023));
        // The first record that says what happened decides; later ones often only add context.
        if (kind == DbError::Kind::Other)
            kind = recordKind(recordState, native, m_syntax);
    }
    if (messages.isEmpty())
        messages << QStringLiteral("The ODBC driver failed without giving a reason");
    return DbError(kind, messages.join(u'\n'), code);
}

} // namespace db
