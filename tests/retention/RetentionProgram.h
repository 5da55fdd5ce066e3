#pragma once

#include "shared/tracking/DbConnection.h"

#include "tests/retention/RetentionDatabase.h"
#include "tests/service/LoaderProgram.h"
#include "tests/support/TestDatabase.h"
#include "tests/support/TestFolder.h"

#include <memory>

// The real OVTrackSvc program on the backend a test runs on (its embedded file beside it, or a
// database of its own on the test server), with a connection of the test's own to the same data.
class RetentionProgramTest : public BackendTest
{
protected:
    void SetUp() override
    {
        BackendTest::SetUp();
        if (IsSkipped())
            return;
        if (backend() == Backend::PostgreSql)
            serverDatabase = std::make_unique<TestDatabase>(Backend::PostgreSql, scratch.path());
        loader = std::make_unique<LoaderProgram>(serverDatabase ? serverDatabase->connectionString() : QString());
        connection = std::make_unique<DbConnection>(loader->folder());
        connection->open(serverDatabase ? serverDatabase->connectionString()
                                        : sqliteConnectionString(loader->folder() + "tracking.db"));
        rows = std::make_unique<RetentionDatabase>(*connection);
    }

    TestFolder scratch;
    std::unique_ptr<TestDatabase> serverDatabase;
    std::unique_ptr<LoaderProgram> loader;
    std::unique_ptr<DbConnection> connection;
    std::unique_ptr<RetentionDatabase> rows;
};
