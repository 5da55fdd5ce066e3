#pragma once

#include "viewer/app/ViewerRunValues.h"

#include "tests/support/TestDatabase.h"
#include "tests/support/TestFolder.h"

#include <memory>

// A command without a window, run in this process against a new empty database of each backend:
// `values` name the database, `messages` collects what the command writes to standard error.
class HeadlessCommandTest : public BackendTest
{
protected:
    void SetUp() override
    {
        BackendTest::SetUp();
        if (IsSkipped())
            return;
        database = std::make_unique<TestDatabase>(backend(), folder.path());
        values.AppPath = folder.path();
        values.DbConnectionString = database->connectionString();
    }

    TestFolder folder;
    std::unique_ptr<TestDatabase> database;
    ViewerRunValues values;
    QString messages;
};
