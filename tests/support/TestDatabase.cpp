#include "tests/support/TestDatabase.h"

#include "shared/tracking/DbConnection.h"
#include "tests/support/PostgresServer.h"
#include "tests/support/TestFolder.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <atomic>
#include <memory>

namespace {

struct OwnServer
{
    std::unique_ptr<QTemporaryDir> folder;
    std::unique_ptr<PostgresServer> server;
    QString failure;
    bool tried = false;
};

OwnServer &ownServer()
{
    static OwnServer own;
    return own;
}

std::unique_ptr<PostgresServer> &fixtureServer()
{
    static std::unique_ptr<PostgresServer> server;
    return server;
}

// Runs one statement on the server's maintenance database.
void administer(PostgresServer &server, const QString &sql)
{
    DbConnection admin(QStringLiteral("/"));
    admin.open(server.connectionString(QStringLiteral("postgres")));
    admin.execute(sql);
}

// The folder of the server CTest's fixture starts; a test process run alone starts its own.
QString fixtureFolder()
{
    const QString named = qEnvironmentVariable("OVTRACK_PG_SOCKET");
    if (!named.isEmpty())
        return named;
#ifdef OVTRACK_PG_TEST_FOLDER
    if (PostgresServer(QStringLiteral(OVTRACK_PG_TEST_FOLDER)).isRunning())
        return QStringLiteral(OVTRACK_PG_TEST_FOLDER);
#endif
    return {};
}

} // namespace

PostgresServer *TestPostgres::server(QString *reason)
{
    const QString shared = fixtureFolder();
    if (!shared.isEmpty()) {
        auto &server = fixtureServer();
        if (!server)
            server = std::make_unique<PostgresServer>(shared);
        if (server->isRunning())
            return server.get();
        if (reason)
            *reason = QStringLiteral("the test run's PostgreSQL server in %1 is not running: %2")
                          .arg(shared, PostgresServer::unavailableReason());
        return nullptr;
    }
    OwnServer &own = ownServer();
    if (!own.tried) {
        own.tried = true;
        own.folder = std::make_unique<QTemporaryDir>(QStringLiteral("/tmp/ovpg-XXXXXX"));
        auto server = std::make_unique<PostgresServer>(own.folder->path());
        if (server->start(&own.failure))
            own.server = std::move(server);
    }
    if (!own.server && reason)
        *reason = own.failure;
    return own.server.get();
}

void TestPostgres::stopOwnServer()
{
    OwnServer &own = ownServer();
    if (own.server)
        own.server->stop();
    own.server.reset();
    own.folder.reset();
}

TestDatabase::TestDatabase(Backend backend, const QString &folder, const QString &fileName)
    : m_backend(backend)
{
    if (backend != Backend::PostgreSql) {
        // Opening never creates a database file: the test's database is made here, as set-up would.
        QFile file(folder + fileName);
        if (!file.exists() && !file.open(QIODevice::WriteOnly))
            throw std::runtime_error(("cannot create " + file.fileName() + ": " + file.errorString()).toStdString());
        m_connectionString = sqliteConnectionString(folder + fileName);
        return;
    }
    QString reason;
    PostgresServer *server = TestPostgres::server(&reason);
    if (!server)
        throw std::runtime_error(reason.toStdString());
    static std::atomic<int> counter{0};
    m_database = QStringLiteral("t%1_%2").arg(QCoreApplication::applicationPid()).arg(++counter);
    administer(*server, QStringLiteral("CREATE DATABASE ") + m_database);
    m_connectionString = server->connectionString(m_database);
}

TestDatabase::~TestDatabase()
{
    if (m_database.isEmpty())
        return;
    try {
        if (PostgresServer *server = TestPostgres::server())
            administer(*server, QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(m_database));
    } catch (const std::exception &) {
        // a database left behind goes with the server's folder
    }
}

void BackendTest::SetUp()
{
    if (GetParam() != Backend::PostgreSql)
        return;
    QString reason;
    if (!TestPostgres::server(&reason))
        GTEST_SKIP() << "PostgreSQL: " << reason.toStdString();
}

void NewDatabaseTest::SetUp()
{
    BackendTest::SetUp();
    if (!IsSkipped())
        database = std::make_unique<TestDatabase>(backend(), folder.path());
}

std::string backendName(const ::testing::TestParamInfo<Backend> &info)
{
    return info.param == Backend::PostgreSql ? "PostgreSQL" : "SQLite";
}
