#pragma once

#include "shared/config/ConnectionString.h"
#include "shared/db/DbError.h"
#include "shared/tracking/SqlDialect.h"
#include "shared/db/Session.h"

#include <QString>

#include <memory>

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

    // The error of a failed statement; when it says the session is gone (a ConnectionLost error),
    // the connection is closed first, so that the next statement opens a new one.
    DbError failure(const DbError &error);
    // Runs `work` on the open session (opening it when closed); its failure goes through failure().
    template <typename Work>
    auto attempt(Work &&work)
    {
        ensureOpen();
        try {
            return work();
        } catch (const DbError &error) {
            throw failure(error);
        }
    }
    // How many sessions were found gone so far: work that saw the count change was cut by a lost
    // connection, not refused for its data.
    int sessionsLost() const { return m_sessionsLost; }
    // The database's message of the last session found gone.
    const QString &lostSessionReason() const { return m_lostSessionReason; }
    // How many sessions this connection opened: a transaction begun on an earlier one has ended.
    int sessionsOpened() const { return m_sessionsOpened; }

    // Runs a statement without parameters; returns the rows it affected.
    int execute(const QString &sql);
    // The text prepared on the open session (opening it when closed). Throws DbError.
    std::unique_ptr<db::Statement> prepare(const QString &text);

private:
    void openTarget();

    QString m_programFolder;
    QString m_defaultProvider;
    QString m_connectionString;
    ConnectionTarget m_target;
    std::shared_ptr<const SqlDialect> m_dialect;
    QString m_resolveError; // why the last connection string could not be used
    bool m_mayCreate = false;
    bool m_atRest = false;
    bool m_inTransaction = false;
    int m_savepoints = 0; // transactions begun inside the open one
    int m_sessionsOpened = 0;
    int m_sessionsLost = 0;
    QString m_lostSessionReason;
    std::unique_ptr<db::Session> m_session;
};

// The failure of opening a SQLite database file that does not exist; it names the file.
QString missingDatabaseText(const QString &file);
// The same, or "permission denied" when the file cannot be looked at, for the reason it is.
QString unreachableDatabaseText(const QString &file);
