#pragma once

#include "shared/db/DbError.h"
#include "shared/db/ParameterText.h"

#include <sql.h>
#include <sqlext.h>

#include <memory>
#include <vector>

namespace db {

class OdbcCursor;

// A statement handle, freed by its last owner or, before the connection goes, by the link.
struct OdbcStatementHandle
{
    SQLHSTMT handle = SQL_NULL_HSTMT;
    ~OdbcStatementHandle() { free(); }
    void free();
};

// What a session shares with its statements and cursors, which may outlive it: the connection,
// whether it is closed or lost, and the open read.
class OdbcLink
{
public:
    explicit OdbcLink(SqlSyntax syntax) : m_syntax(syntax) {}
    ~OdbcLink() { close(); }

    void connect(const QString &connectionString, int loginTimeoutSeconds);
    // Frees every statement handle, then the connection; ends the open read.
    void close();

    bool isUsable() const { return m_connection != SQL_NULL_HDBC && !m_lost; }
    bool isLost() const { return m_lost; }
    // Throws DbError unless the session can be used, then ends the open read: what every use of
    // the session does first.
    void beginUse();

    std::shared_ptr<OdbcStatementHandle> newStatement();
    SQLHDBC connection() const { return m_connection; }

    // The cursor that reads now; any other use of the session interrupts it first.
    void startRead(OdbcCursor *read) { m_read = read; }
    void readEnded(const OdbcCursor *read);

    // Throws the diagnostics of a failed call, marking the session lost when they say it is gone.
    void check(SQLRETURN result, SQLSMALLINT handleType, SQLHANDLE handle);

private:
    DbError diagnostics(SQLSMALLINT handleType, SQLHANDLE handle) const;

    SqlSyntax m_syntax;
    SQLHENV m_environment = SQL_NULL_HENV;
    SQLHDBC m_connection = SQL_NULL_HDBC;
    bool m_lost = false;
    OdbcCursor *m_read = nullptr;
    std::vector<std::weak_ptr<OdbcStatementHandle>> m_statements;
};

} // namespace db
