#pragma once

#include "shared/tracking/DbConnection.h"

#include "tests/support/TestDatabase.h"
#include "tests/support/TestFolder.h"

#include <gtest/gtest.h>

#include <memory>

// A test of what only the server database has: a database of its own on the test server, with an
// empty Tracking table; skipped, with the reason, without a server.
class PostgresTrackingTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QString reason;
        if (!TestPostgres::server(&reason))
            GTEST_SKIP() << "PostgreSQL: " << reason.toStdString();
        database = std::make_unique<TestDatabase>(Backend::PostgreSql, folder.path());
        db.open(database->connectionString());
        db.execute(db.dialect().createTrackingSql());
    }

    TestFolder folder;
    std::unique_ptr<TestDatabase> database;
    DbConnection db{folder.path()};
};
