#pragma once

#include "viewer/search/TrackResultModel.h"
#include "viewer/search/TrackSearch.h"

#include "shared/text/WallClock.h"

#include "tests/support/TestFolder.h"
#include "tests/support/TrackingTestDatabase.h"

#include <memory>

// The window's search over a real database of the backend under test, and the grid's model it fills.
class BackendSearchTest : public BackendTest
{
protected:
    void SetUp() override
    {
        BackendTest::SetUp();
        if (IsSkipped())
            return;
        db = std::make_unique<TrackingTestDatabase>(folder.path(), "tracking.db", true, backend());
        search = std::make_unique<TrackSearch>(db->connection(), model);
    }

    TestFolder folder;
    std::unique_ptr<TrackingTestDatabase> db;
    TrackResultModel model;
    std::unique_ptr<TrackSearch> search;
    const QDateTime now = WallClock::of(QDate(2024, 3, 15), QTime(12, 0));
    SearchCriteria criteria = SearchCriteria::atStartup(now.date());
};
