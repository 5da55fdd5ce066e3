#include "shared/db/SessionPool.h"
#include "tests/support/TestDatabase.h"

#include <atomic>
#include <thread>

namespace {

class SessionPoolTest : public NewDatabaseTest
{
};

// Eight workers share four sessions, each writing in transactions and reading back what it wrote:
// a session lent to two threads at once, or a lease that returns another's, shows as a wrong count,
// a failure or (under ThreadSanitizer) a race.
TEST_P(SessionPoolTest, WorkersShareFewerSessionsThanThreadsWithoutMixingTheirWork)
{
    const ConnectionTarget target = resolveConnectionString(database->connectionString(), folder.path());
    db::Session::open(target)->execute(QStringLiteral("create table work (worker integer, step integer)"));
    std::atomic<int> opened{0};
    db::SessionPool pool(target, 4, [&](db::Session &) { ++opened; });
    constexpr int Workers = 8, Steps = 25;
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int worker = 0; worker < Workers; ++worker) {
        threads.emplace_back([&, worker] {
            try {
                for (int step = 0; step < Steps; ++step) {
                    const db::SessionPool::Lease session = pool.borrow();
                    session->begin(true);
                    auto insert = session->prepare(QStringLiteral("insert into work values (:Worker, :Step)"));
                    insert->bind(QStringLiteral("Worker"), qint64(worker));
                    insert->bind(QStringLiteral("Step"), qint64(step));
                    insert->run();
                    session->commit();
                    auto count = session->prepare(QStringLiteral("select count(*) from work where worker = :Worker"));
                    count->bind(QStringLiteral("Worker"), qint64(worker));
                    auto rows = count->query();
                    if (!rows->next() || rows->integer(0) != step + 1)
                        ++failures;
                }
            } catch (const DbError &error) {
                ADD_FAILURE() << error.message().toStdString();
                ++failures;
            }
        });
    }
    for (std::thread &thread : threads)
        thread.join();
    EXPECT_EQ(failures, 0);
    EXPECT_LE(opened, 4);
    const db::SessionPool::Lease session = pool.borrow();
    auto total = session->prepare(QStringLiteral("select count(*) from work"))->query();
    ASSERT_TRUE(total->next());
    EXPECT_EQ(total->integer(0), Workers * Steps);
}

OVTRACK_ON_EVERY_BACKEND(SessionPoolTest);

} // namespace
