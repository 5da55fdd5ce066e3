#pragma once

#include "viewer/app/ViewerRunValues.h"

#include "tests/support/TestDatabase.h"
#include "tests/support/TestFolder.h"

#include <memory>

// A command without a window, run in this process against a new empty database of each backend:
// `values` name the database, `messages` collects what the command writes to standard error.
class HeadlessCommandTest : public NewDatabaseTest
{
protected:
    void SetUp() override
    {
        NewDatabaseTest::SetUp();
        if (IsSkipped())
            return;
        values.AppPath = folder.path();
        values.DbConnectionString = database->connectionString();
    }

    ViewerRunValues values;
    QString messages;
};
