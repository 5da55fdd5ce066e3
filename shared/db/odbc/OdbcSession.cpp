#include "shared/db/odbc/OdbcSession.h"

#include "shared/db/odbc/OdbcCursor.h"
#include "shared/db/odbc/OdbcParameters.h"

namespace db {

namespace {

class OdbcStatement : public Statement
{
public:
    OdbcStatement(std::shared_ptr<OdbcLink> link, ParameterText text)
        : Statement(std::move(text)), m_link(std::move(link)), m_statement(m_link->newStatement())
    {
        auto *sql = const_cast<SQLWCHAR *>(reinterpret_cast<const SQLWCHAR *>(this->text().sql.utf16()));
        m_link->check(SQLPrepareW(m_statement->handle, sql, SQL_NTS), SQL_HANDLE_STMT, m_statement->handle);
    }

    qint64 run() override
    {
        execute();
        SQLLEN rows = 0;
        const SQLRETURN counted = SQLRowCount(m_statement->handle, &rows);
        SQLFreeStmt(m_statement->handle, SQL_CLOSE);
        m_link->check(counted, SQL_HANDLE_STMT, m_statement->handle);
        return m_executed == SQL_NO_DATA ? 0 : std::max<qint64>(rows, 0);
    }

    std::unique_ptr<Cursor> query() override
    {
        execute();
        try {
            return std::make_unique<OdbcCursor>(m_link, m_statement);
        } catch (const DbError &) {
            SQLFreeStmt(m_statement->handle, SQL_CLOSE);
            throw;
        }
    }

    bool isUsable() const override { return m_link->isUsable(); }

private:
    void execute()
    {
        std::vector<DbValue> placeholders;
        for (size_t i = 0; i < text().placeholders.size(); ++i)
            placeholders.push_back(placeholderValue(i));
        OdbcParameters parameters(std::move(placeholders));
        m_link->beginUse();
        const SQLHSTMT handle = m_statement->handle;
        m_link->check(parameters.bind(handle), SQL_HANDLE_STMT, handle);
        m_executed = SQLExecute(handle);
        m_link->check(m_executed, SQL_HANDLE_STMT, handle);
    }

    std::shared_ptr<OdbcLink> m_link;
    std::shared_ptr<OdbcStatementHandle> m_statement;
    SQLRETURN m_executed = SQL_SUCCESS;
};

class OdbcSession : public Session
{
public:
    OdbcSession(const QString &connectionString, SqlSyntax syntax, int loginTimeoutSeconds)
        : m_link(std::make_shared<OdbcLink>(syntax)), m_syntax(syntax)
    {
        m_link->connect(connectionString, loginTimeoutSeconds);
    }
    ~OdbcSession() override { m_link->close(); }

    std::unique_ptr<Statement> prepare(const QString &text) override
    {
        m_link->beginUse();
        return std::make_unique<OdbcStatement>(
            m_link, rewriteParameters(text, m_syntax, PlaceholderStyle::Positional));
    }

    void begin(bool) override { setAutocommit(false); }
    void commit() override { endTransaction(SQL_COMMIT); }
    void rollback() override { endTransaction(SQL_ROLLBACK); }
    bool isLost() const override { return m_link->isLost(); }

    void cancel() override
    {
        if (m_link->isUsable())
            m_link->beginUse();
    }

private:
    void setAutocommit(bool on)
    {
        m_link->beginUse();
        const SQLULEN value = on ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF;
        m_link->check(SQLSetConnectAttr(m_link->connection(), SQL_ATTR_AUTOCOMMIT,
                                        reinterpret_cast<SQLPOINTER>(value), 0),
                      SQL_HANDLE_DBC, m_link->connection());
    }

    void endTransaction(SQLSMALLINT completion)
    {
        m_link->beginUse();
        m_link->check(SQLEndTran(SQL_HANDLE_DBC, m_link->connection(), completion), SQL_HANDLE_DBC,
                      m_link->connection());
        setAutocommit(true);
    }

    std::shared_ptr<OdbcLink> m_link;
    SqlSyntax m_syntax;
};

} // namespace

std::unique_ptr<Session> openOdbcSession(const QString &connectionString, SqlSyntax syntax,
                                         int loginTimeoutSeconds)
{
    return std::make_unique<OdbcSession>(connectionString, syntax, loginTimeoutSeconds);
}

} // namespace db
