#include "shared/DbConnection.h"

#include "shared/DbError.h"
#include "shared/PostgresLibpq.h"
#include "shared/PostgresNativeQuery.h"
#include "shared/PostgresSessionZone.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>

#include <atomic>
#include <cerrno>
#include <utility>

#include <sys/stat.h>

namespace {

// An option of one open, set while it runs and cleared whether it succeeds or not.
class OpenOption
{
public:
    explicit OpenOption(bool &option) : m_option(option) { m_option = true; }
    ~OpenOption() { m_option = false; }
    OpenOption(const OpenOption &) = delete;
    OpenOption &operator=(const OpenOption &) = delete;

private:
    bool &m_option;
};

QString nextConnectionName()
{
    static std::atomic<int> counter{0};
    return QStringLiteral("ovtrack-%1").arg(++counter);
}

bool isSqliteFile(const QString &databaseName)
{
    return databaseName != QLatin1String(":memory:") && !databaseName.startsWith(QLatin1String("file:"));
}

QString connectFailure(const ConnectionTarget &target, const QString &reason)
{
    switch (target.backend) {
    case Backend::SqlServer:
        return QStringLiteral("Cannot connect to SQL Server \"%1\": %2").arg(target.serverLabel, reason);
    case Backend::PostgreSql:
        return QStringLiteral("Cannot connect to PostgreSQL server \"%1\": %2")
            .arg(target.serverLabel, reason);
    case Backend::Sqlite:
        break;
    }
    return QStringLiteral("Cannot open database \"%1\": %2").arg(target.serverLabel, reason);
}

// Savepoints are numbered by depth: a name is reused only after its savepoint has ended.
QString savepointName(int depth)
{
    return QStringLiteral("ovtrack_nested_%1").arg(depth);
}

} // namespace

QString missingDatabaseText(const QString &file)
{
    return QStringLiteral(
               "The database file \"%1\" does not exist. Opening a connection never creates it: "
               "\"OVTrackSvc /CREATEDB\" (as the service's user), \"OVTrack --create-blank\" or the "
               "viewer's \"Create blank\" creates an empty one.")
        .arg(QDir::toNativeSeparators(file));
}

QString unreachableDatabaseText(const QString &file)
{
    // A file in a folder this user may not search looks missing to every existence test.
    struct stat status;
    if (::stat(QFile::encodeName(file).constData(), &status) != 0 && errno == EACCES)
        return QStringLiteral(
                   "The database file \"%1\" cannot be reached: permission denied. This user needs "
                   "read access to the file and its folder (for a package install, the group "
                   "ovtrack).")
            .arg(QDir::toNativeSeparators(file));
    return missingDatabaseText(file);
}

DbConnection::DbConnection(QString programFolder, QString defaultProvider)
    : m_programFolder(std::move(programFolder)), m_defaultProvider(std::move(defaultProvider)),
      m_connectionName(nextConnectionName())
{}

DbConnection::~DbConnection()
{
    endSessionReader(true);
    m_native.reset(); // SQLite closes no handle with statements still prepared on it
    {
        QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
        if (db.isValid())
            db.close();
    }
    if (QSqlDatabase::contains(m_connectionName))
        QSqlDatabase::removeDatabase(m_connectionName);
}

void DbConnection::open(const QString &connectionString)
{
    close();
    m_connectionString = connectionString;
    try {
        m_target = resolveConnectionString(connectionString, m_programFolder, m_defaultProvider);
        m_resolveError.clear();
    } catch (const DbError &error) {
        // Later uses of the connection report this, the cause, and not a missing string.
        m_target = ConnectionTarget{};
        m_dialect.reset();
        m_resolveError = error.message();
        throw;
    }
    m_dialect = SqlDialect::create(m_target.backend);
    openTarget();
}

void DbConnection::openCreating(const QString &connectionString)
{
    const OpenOption creating(m_mayCreate);
    open(connectionString);
}

void DbConnection::openAtRest(const QString &connectionString)
{
    const OpenOption atRest(m_atRest);
    open(connectionString);
}

bool DbConnection::databaseFileMissing() const
{
    return !m_connectionString.isEmpty() && !m_target.databaseName.isEmpty() &&
           m_target.backend == Backend::Sqlite && isSqliteFile(m_target.databaseName) &&
           !QFileInfo::exists(m_target.databaseName);
}

void DbConnection::open()
{
    if (m_connectionString.isEmpty())
        throw DbError(DbError::Kind::AccessLayer, QStringLiteral("No connection string has been given"));
    open(m_connectionString);
}

void DbConnection::ensureOpen()
{
    endSessionReader(false);
    if (!isOpen())
        open();
}

void DbConnection::setSessionReader(PostgresNativeQuery *reader)
{
    endSessionReader(false);
    m_sessionReader = reader;
}

void DbConnection::releaseSessionReader(const PostgresNativeQuery *reader)
{
    if (m_sessionReader == reader)
        m_sessionReader = nullptr;
}

void DbConnection::endSessionReader(bool sessionEnding)
{
    if (PostgresNativeQuery *reader = std::exchange(m_sessionReader, nullptr))
        reader->abandon(sessionEnding);
}

void DbConnection::openTarget()
{
    ++m_generation;
    if (QSqlDatabase::contains(m_connectionName))
        QSqlDatabase::removeDatabase(m_connectionName);
    const QString driver = m_target.backend == Backend::Sqlite       ? QStringLiteral("QSQLITE")
                           : m_target.backend == Backend::PostgreSql ? QStringLiteral("QPSQL")
                                                                     : QStringLiteral("QODBC");
    const QString options = m_target.backend == Backend::Sqlite ? QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000")
                            : m_target.backend == Backend::PostgreSql
                                ? QStringLiteral("connect_timeout=%1").arg(m_target.connectTimeoutSeconds)
                                : QStringLiteral("SQL_ATTR_LOGIN_TIMEOUT=%1").arg(m_target.connectTimeoutSeconds);
    QSqlDatabase db = QSqlDatabase::addDatabase(driver, m_connectionName);
    if (!db.isValid())
        throw DbError(DbError::Kind::AccessLayer, QStringLiteral("The Qt SQL driver %1 is not installed").arg(driver));
    db.setDatabaseName(m_target.databaseName);
    db.setConnectOptions(options);
    if (!m_mayCreate && databaseFileMissing()) {
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_connectionName);
        throw DbError(DbError::Kind::Other, unreachableDatabaseText(m_target.databaseName));
    }
    if (m_atRest && m_target.backend == Backend::Sqlite) {
        db.setDatabaseName(QUrl::fromLocalFile(m_target.databaseName).toString(QUrl::FullyEncoded) +
                           QStringLiteral("?immutable=1"));
        db.setConnectOptions(options +
                             QStringLiteral(";QSQLITE_OPEN_URI;QSQLITE_OPEN_READONLY"));
    }
    if (!m_target.hostName.isEmpty())
        db.setHostName(m_target.hostName);
    db.setPort(m_target.port);
    if (!m_target.userName.isEmpty())
        db.setUserName(m_target.userName);
    if (!m_target.password.isEmpty())
        db.setPassword(m_target.password);
    if (!db.open()) {
        const QSqlError error = db.lastError();
        const QString message = connectFailure(m_target, sqlErrorText(error));
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_connectionName);
        // A server that cannot be reached now may be there at the next attempt.
        throw DbError(m_dialect->connectionLost(error) ? DbError::Kind::ConnectionLost : DbError::Kind::Other,
                      message);
    }
    for (const QString &sql : m_dialect->sessionSetupSql()) {
        QSqlQuery setup(db);
        if (!setup.exec(sql)) {
            const QString message = sqlErrorText(setup.lastError());
            setup = QSqlQuery();
            close();
            throw DbError(DbError::Kind::Other, message);
        }
    }
    if (m_target.backend == Backend::PostgreSql) {
        // The server's clock ("Tag as Managed") and this process's (retention's cut-off) are one.
        if (const QSqlError error = matchMachineTimeZone(libpqSession(db)); error.isValid()) {
            close();
            throw DbError(DbError::Kind::Other, sqlErrorText(error));
        }
    }
    if (m_target.backend == Backend::Sqlite)
        m_native = SqliteNativeSession::attach(db);
}

void DbConnection::close()
{
    endSessionReader(true);
    m_inTransaction = false;
    m_savepoints = 0;
    ++m_generation;
    m_native.reset(); // SQLite closes no handle with statements still prepared on it
    if (!QSqlDatabase::contains(m_connectionName))
        return;
    QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
    db.close();
}

bool DbConnection::isOpen() const
{
    if (m_native)
        return true; // it lives exactly while the SQLite database is open, and asks no registry
    if (!QSqlDatabase::contains(m_connectionName))
        return false;
    return QSqlDatabase::database(m_connectionName, false).isOpen();
}

void DbConnection::beginTransaction(TransactionMode mode)
{
    ensureOpen();
    if (m_inTransaction) {
        execute(dialect().savepointSql(savepointName(m_savepoints + 1)));
        ++m_savepoints;
        return;
    }
    runTransactionStep(mode == TransactionMode::Write ? SqliteNativeSession::TransactionStep::BeginWrite
                                                      : SqliteNativeSession::TransactionStep::Begin);
    m_inTransaction = true;
}

void DbConnection::commit()
{
    if (m_savepoints > 0) {
        const QString release = dialect().releaseSavepointSql(savepointName(m_savepoints));
        --m_savepoints;
        if (!release.isEmpty())
            execute(release);
        return;
    }
    // A failed commit leaves the transaction open on the database: keep saying so.
    runTransactionStep(SqliteNativeSession::TransactionStep::Commit);
    m_inTransaction = false;
}

void DbConnection::rollback()
{
    if (m_savepoints > 0) {
        const QString name = savepointName(m_savepoints);
        --m_savepoints;
        execute(dialect().rollbackToSavepointSql(name));
        if (const QString release = dialect().releaseSavepointSql(name); !release.isEmpty())
            execute(release);
        return;
    }
    m_inTransaction = false;
    runTransactionStep(SqliteNativeSession::TransactionStep::Rollback);
}

void DbConnection::runTransactionStep(SqliteNativeSession::TransactionStep step)
{
    endSessionReader(false);
    if (m_native) {
        if (const QSqlError error = m_native->transaction(step); error.isValid())
            throw failure(error);
        return;
    }
    QSqlDatabase db = database();
    const bool begin = step == SqliteNativeSession::TransactionStep::Begin ||
                       step == SqliteNativeSession::TransactionStep::BeginWrite;
    const bool done = begin                                                  ? db.transaction()
                      : step == SqliteNativeSession::TransactionStep::Commit ? db.commit()
                                                                             : db.rollback();
    if (!done)
        throw failure(db.lastError());
}

const SqlDialect &DbConnection::dialect() const
{
    if (!m_dialect)
        throw DbError(DbError::Kind::AccessLayer, m_resolveError.isEmpty()
                                                      ? QStringLiteral("No connection string has been given")
                                                      : m_resolveError);
    return *m_dialect;
}

std::shared_ptr<const SqlDialect> DbConnection::sharedDialect() const
{
    dialect();
    return m_dialect;
}

DbError DbConnection::failure(const QSqlError &error)
{
    const bool lost = m_dialect && (m_dialect->connectionLost(error) ||
                                    (QSqlDatabase::contains(m_connectionName) &&
                                     m_dialect->sessionGone(QSqlDatabase::database(m_connectionName, false))));
    DbError result(lost ? DbError::Kind::ConnectionLost : DbError::Kind::Other, sqlErrorText(error));
    if (lost) {
        ++m_sessionsLost;
        m_lostSessionReason = result.message();
        close();
    }
    return result;
}

int DbConnection::execute(const QString &sql)
{
    ensureOpen();
    QSqlQuery query(database());
    if (!query.exec(sql))
        throw failure(query.lastError());
    return query.numRowsAffected();
}

QSqlDatabase DbConnection::database() const
{
    if (!QSqlDatabase::contains(m_connectionName))
        throw DbError(DbError::Kind::AccessLayer, QStringLiteral("The database connection is not open"));
    return QSqlDatabase::database(m_connectionName, false);
}
