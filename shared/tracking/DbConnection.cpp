#include "shared/tracking/DbConnection.h"

#include "shared/tracking/PostgresSessionZone.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

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
    : m_programFolder(std::move(programFolder)), m_defaultProvider(std::move(defaultProvider))
{}

DbConnection::~DbConnection() = default;

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
    if (!isOpen())
        open();
}

void DbConnection::openTarget()
{
    if (!m_mayCreate && databaseFileMissing())
        throw DbError(DbError::Kind::Other, unreachableDatabaseText(m_target.databaseName));
    const auto mode = m_mayCreate ? db::Session::OpenMode::Creating
                      : m_atRest  ? db::Session::OpenMode::AtRest
                                  : db::Session::OpenMode::Existing;
    try {
        m_session = db::Session::open(m_target, mode);
    } catch (const DbError &error) {
        // A server that cannot be reached now may be there at the next attempt: the kind stays.
        throw DbError(error.kind(), connectFailure(m_target, error.message()), error.code());
    }
    ++m_sessionsOpened;
    try {
        for (const QString &sql : m_dialect->sessionSetupSql())
            m_session->execute(sql);
        // The server's clock ("Tag as Managed") and this process's (retention's cut-off) are one.
        if (m_target.backend == Backend::PostgreSql)
            matchMachineTimeZone(*m_session);
    } catch (const DbError &) {
        close();
        throw;
    }
}

void DbConnection::close()
{
    m_inTransaction = false;
    m_savepoints = 0;
    m_session.reset();
}

bool DbConnection::isOpen() const
{
    return m_session && !m_session->isLost();
}

void DbConnection::beginTransaction(TransactionMode mode)
{
    if (m_inTransaction) {
        execute(dialect().savepointSql(savepointName(m_savepoints + 1)));
        ++m_savepoints;
        return;
    }
    attempt([&] { m_session->begin(mode == TransactionMode::Write); });
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
    attempt([&] { m_session->commit(); });
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
    attempt([&] { m_session->rollback(); });
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

DbError DbConnection::failure(const DbError &error)
{
    if (error.isConnectionLost()) {
        ++m_sessionsLost;
        m_lostSessionReason = error.message();
        close();
    }
    return error;
}

int DbConnection::execute(const QString &sql)
{
    return attempt([&] { return int(m_session->execute(sql)); });
}

std::unique_ptr<db::Statement> DbConnection::prepare(const QString &text)
{
    return attempt([&] { return m_session->prepare(text); });
}
