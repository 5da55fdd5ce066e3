#pragma once

#include "shared/ConnectionString.h"
#include "shared/DbError.h"
#include "shared/SqlDialect.h"
#include "shared/SqliteNativeSession.h"

#include <QSqlDatabase>
#include <QString>

#include <memory>

class PostgresNativeQuery;

// One program's database connection, owned for its whole run. A statement used while the
// connection is closed opens it again with its last connection string.
class DbConnection
{
public:
    // `programFolder` anchors relative SQLite files; `defaultProvider` applies to connection strings
    // that name no provider.
    explicit DbConnection(QString programFolder, QString defaultProvider = {});
    ~DbConnection();
    DbConnection(const DbConnection &) = delete;
    DbConnection &operator=(const DbConnection &) = delete;

    // Throws DbError; the string is kept even when opening fails, for a later open(). Opening
    // never creates a database: a missing SQLite file is a failure that names it.
    void open(const QString &connectionString);
    void open();
    // Opens, creating a missing SQLite file: for "Create blank" and the set-up only.
    void openCreating(const QString &connectionString);
    // Opens a SQLite file read-only as it lies on disk, for a reader that may read it but not
    // write in its folder: while no program has the database open its write-ahead log is absent,
    // and SQLite cannot make one for such a reader. Only then is the file whole by itself; other
    // backends open as open() does.
    void openAtRest(const QString &connectionString);
    // True when the last connection string names a SQLite file that does not exist.
    bool databaseFileMissing() const;
    void close();
    bool isOpen() const;
    // Opens with the last connection string when closed; throws DbError when there is none.
    void ensureOpen();

    const QString &connectionString() const { return m_connectionString; }
    // The resolved target of the last connection string; empty until one was given.
    const ConnectionTarget &target() const { return m_target; }

    // A write transaction takes the database's write lock at once where the backend defers it
    // (SQLite), so that what it reads stays true until it commits.
    enum class TransactionMode
    {
        Default,
        Write
    };
    // Begun inside a transaction, a transaction is a savepoint of it: its commit releases the
    // savepoint and its rollback undoes only what followed it.
    void beginTransaction(TransactionMode mode = TransactionMode::Default);
    void commit();
    void rollback();
    bool inTransaction() const { return m_inTransaction; }

    // The dialect of the last connection string; throws DbError when none was given yet.
    const SqlDialect &dialect() const;
    std::shared_ptr<const SqlDialect> sharedDialect() const;

    // The error of a failed statement; when the dialect says the session is gone (a ConnectionLost
    // error), the connection is closed first, so that the next statement opens a new one.
    DbError failure(const QSqlError &error);
    // How many sessions were found gone so far: work that saw the count change was cut by a lost
    // connection, not refused for its data.
    int sessionsLost() const { return m_sessionsLost; }
    // The database's message of the last session found gone.
    const QString &lostSessionReason() const { return m_lostSessionReason; }

    // Runs a statement without parameters; returns the rows it affected.
    int execute(const QString &sql);

    QSqlDatabase database() const;
    // Counts the opens, so that statements know when their prepared form belongs to an old session.
    int generation() const { return m_generation; }
    // The SQLite handle's own session while a SQLite database is open, else null.
    SqliteNativeSession *nativeSession() const { return m_native.get(); }

    // A PostgreSQL read whose rows are still coming keeps the session busy: the next statement, a
    // transaction step or closing ends it first (see PostgresNativeQuery).
    void setSessionReader(PostgresNativeQuery *reader);
    void releaseSessionReader(const PostgresNativeQuery *reader);
    bool hasSessionReader() const { return m_sessionReader != nullptr; }
    // Expires when the connection is destroyed, for what may outlive it.
    std::weak_ptr<const void> lifetime() const { return m_lifetime; }

private:
    void openTarget();
    // BEGIN, COMMIT or ROLLBACK; throws DbError.
    void runTransactionStep(SqliteNativeSession::TransactionStep step);
    void endSessionReader(bool sessionEnding);

    QString m_programFolder;
    QString m_defaultProvider;
    QString m_connectionName;
    QString m_connectionString;
    ConnectionTarget m_target;
    std::shared_ptr<const SqlDialect> m_dialect;
    QString m_resolveError; // why the last connection string could not be used
    bool m_mayCreate = false;
    bool m_atRest = false;
    bool m_inTransaction = false;
    int m_savepoints = 0; // transactions begun inside the open one
    int m_generation = 0;
    int m_sessionsLost = 0;
    QString m_lostSessionReason;
    std::unique_ptr<SqliteNativeSession> m_native; // ended before every close
    PostgresNativeQuery *m_sessionReader = nullptr;
    std::shared_ptr<const void> m_lifetime = std::make_shared<int>(0);
};

// The failure of opening a SQLite database file that does not exist; it names the file.
QString missingDatabaseText(const QString &file);
// The same, or "permission denied" when the file cannot be looked at, for the reason it is.
QString unreachableDatabaseText(const QString &file);
