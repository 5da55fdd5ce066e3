#pragma once

#include <QSqlError>

#include <array>
#include <memory>
#include <vector>

struct sqlite3;
class QSqlDatabase;
class SqliteNativeStatement;

// The SQLite handle under an open Qt connection, on which the statements a program runs for every
// line are prepared once. SQLite will not close a handle while statements prepared on it live, so
// the session must end before the connection closes: ending it finalizes every such statement, and
// their owners prepare them again on the next session.
class SqliteNativeSession
{
public:
    // Null when the connection's driver hands out no SQLite handle.
    static std::unique_ptr<SqliteNativeSession> attach(const QSqlDatabase &database);
    ~SqliteNativeSession();
    SqliteNativeSession(const SqliteNativeSession &) = delete;
    SqliteNativeSession &operator=(const SqliteNativeSession &) = delete;

    sqlite3 *handle() const { return m_handle; }
    // How many statements are prepared on the handle now.
    int statementCount() const { return static_cast<int>(m_statements.size()); }

    enum class TransactionStep
    {
        Begin,
        Commit,
        Rollback,
        BeginWrite // takes the write lock at once
    };
    // Returns the error as Qt's driver words it; invalid on success.
    QSqlError transaction(TransactionStep step);

private:
    friend class SqliteNativeStatement;

    explicit SqliteNativeSession(sqlite3 *handle);
    void adopt(SqliteNativeStatement *statement);
    void release(SqliteNativeStatement *statement);

    sqlite3 *m_handle;
    std::vector<SqliteNativeStatement *> m_statements;
    std::array<std::unique_ptr<SqliteNativeStatement>, 4> m_transactionStatements; // prepared when first used
};
