#include "shared/SqliteNativeSession.h"

#include "shared/SqliteDialect.h"
#include "shared/QtDriverHandle.h"
#include "shared/SqliteNativeStatement.h"

#include <QSqlDatabase>
#include <QSqlDriver>

#include <sqlite3.h>

#include <algorithm>

std::unique_ptr<SqliteNativeSession> SqliteNativeSession::attach(const QSqlDatabase &database)
{
    auto *sqlite =
        qtDriverHandle<sqlite3>(database.driver() ? database.driver()->handle() : QVariant(), {"sqlite3*"});
    if (!sqlite)
        return nullptr;
    return std::unique_ptr<SqliteNativeSession>(new SqliteNativeSession(sqlite));
}

SqliteNativeSession::SqliteNativeSession(sqlite3 *handle) : m_handle(handle) {}

SqliteNativeSession::~SqliteNativeSession()
{
    for (SqliteNativeStatement *statement : m_statements)
        statement->finalize();
}

void SqliteNativeSession::adopt(SqliteNativeStatement *statement)
{
    m_statements.push_back(statement);
}

void SqliteNativeSession::release(SqliteNativeStatement *statement)
{
    m_statements.erase(std::remove(m_statements.begin(), m_statements.end(), statement), m_statements.end());
}

QSqlError SqliteNativeSession::transaction(TransactionStep step)
{
    struct StepTexts
    {
        const char *sql;
        const char *failure; // as Qt's driver words a failed step, before the database's text
    };
    static constexpr std::array<StepTexts, 4> Steps{{
        {SqliteDialect::BeginSql, "Unable to begin transaction"},
        {SqliteDialect::CommitSql, "Unable to commit transaction"},
        {SqliteDialect::RollbackSql, "Unable to rollback transaction"},
        {SqliteDialect::BeginWriteSql, "Unable to begin transaction"},
    }};
    const StepTexts &texts = Steps[static_cast<size_t>(step)];
    std::unique_ptr<SqliteNativeStatement> &statement = m_transactionStatements[static_cast<size_t>(step)];
    if (!statement)
        statement = SqliteNativeStatement::prepare(*this, QString::fromLatin1(texts.sql), {});
    QSqlError error;
    if (statement)
        statement->run(nullptr, error);
    else
        error = QSqlError(QString(), QString::fromUtf8(sqlite3_errmsg(m_handle)), QSqlError::ConnectionError,
                          QString::number(sqlite3_errcode(m_handle)));
    if (!error.isValid())
        return error;
    return QSqlError(QString::fromLatin1(texts.failure), error.databaseText(), QSqlError::TransactionError,
                     error.nativeErrorCode());
}
