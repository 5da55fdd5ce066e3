#pragma once

#include "shared/config/ConnectionString.h"
#include "tests/support/TestFolder.h"

#include <QString>

#include <gtest/gtest.h>

#include <memory>

class PostgresServer;

// The PostgreSQL server of this test run: the one CTest's fixture started (its folder built in, or
// named by OVTRACK_PG_SOCKET), or else one this process starts on first use and stops when its
// tests end.
namespace TestPostgres {
// nullptr, with the reason in `reason`, when there is none.
PostgresServer *server(QString *reason = nullptr);
void stopOwnServer();
} // namespace TestPostgres

// A new empty database on the backend a test runs on: a SQLite file in a folder, or a database of
// its own on the test PostgreSQL server, dropped at the end.
class TestDatabase
{
public:
    TestDatabase(Backend backend, const QString &folder,
                 const QString &fileName = QStringLiteral("tracking.db"));
    ~TestDatabase();
    TestDatabase(const TestDatabase &) = delete;
    TestDatabase &operator=(const TestDatabase &) = delete;

    Backend backend() const { return m_backend; }
    QString connectionString() const { return m_connectionString; }

private:
    Backend m_backend;
    QString m_database; // PostgreSQL only
    QString m_connectionString;
};

// A test that runs once per backend; on PostgreSQL it is skipped, with the reason, without a server.
class BackendTest : public ::testing::TestWithParam<Backend>
{
protected:
    void SetUp() override;
    Backend backend() const { return GetParam(); }
};

// A backend test with a new empty database of its backend, in a folder of its own; `database` stays
// null when the test is skipped.
class NewDatabaseTest : public BackendTest
{
protected:
    void SetUp() override;

    TestFolder folder;
    std::unique_ptr<TestDatabase> database;
};

inline const auto EveryBackend = ::testing::Values(Backend::Sqlite, Backend::PostgreSql);
std::string backendName(const ::testing::TestParamInfo<Backend> &info);

// Instantiates a BackendTest suite on every backend.
#define OVTRACK_ON_EVERY_BACKEND(suite) INSTANTIATE_TEST_SUITE_P(, suite, EveryBackend, backendName)
