#include "shared/DbConnection.h"
#include "shared/DbError.h"
#include "shared/DbStatement.h"
#include "shared/PostgresNativeQuery.h"

#include "tests/shared/ErrorOf.h"
#include "tests/support/TestDatabase.h"
#include "tests/support/TestFolder.h"

#include <gtest/gtest.h>

// Statements sent through libpq beside Qt's PostgreSQL driver, on the driver's own session.
namespace {

class PostgresNativeQueryTest : public ::testing::Test
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
        // Five megabytes: far more than the socket holds, so the server is still sending while a test reads.
        db.execute("insert into Tracking (MsgID, PracID, Patient) select 'M' || lpad(n::text, 5, '0'), 'P', "
                   "repeat('x', 230) from generate_series(1, 20000) as n");
    }

    std::unique_ptr<PostgresNativeQuery> start(DbStatement &statement)
    {
        std::unique_ptr<PostgresNativeQuery> query = statement.startOnPostgres();
        EXPECT_TRUE(query);
        return query;
    }

    // Reads to the end; the rows read, and the failure that ended reading, if any.
    std::pair<int, QString> readAll(PostgresNativeQuery &query)
    {
        int rows = 0;
        QSqlError error;
        while (query.next(error))
            ++rows;
        return {rows, error.isValid() ? sqlErrorText(error) : QString()};
    }

    TestFolder folder;
    std::unique_ptr<TestDatabase> database;
    DbConnection db{folder.path()};
};

TEST_F(PostgresNativeQueryTest, ParametersAreNumberedByNameOutsideQuotesAndValuesTravelUnchanged)
{
    DbStatement s(db, "select :First || ':second' || :first || :Other as joined, cast(:Bytes as bytea) = "
                      "decode('00ff27', 'hex') as same, cast(:Missing as text) is null as absent, :N + 1 as n");
    s.bind("FIRST", ParamType::Text, "o'k;--");
    s.bind("other", ParamType::Text, "Ñúñez");
    s.bind("Bytes", ParamType::LongText, QByteArray("\x00\xff'", 3));
    s.bind("Missing", ParamType::Text, QVariant());
    s.bind("n", ParamType::Int, 41);
    const std::unique_ptr<PostgresNativeQuery> query = start(s);
    QSqlError error;
    ASSERT_TRUE(query->next(error)) << sqlErrorText(error).toStdString();
    const PostgresRow row = query->row();
    EXPECT_EQ(row.text(query->fieldIndex("JOINED")), QByteArrayView("o'k;--:secondo'k;--Ñúñez"));
    EXPECT_EQ(row.text(query->fieldIndex("same")), QByteArrayView("t"));
    EXPECT_EQ(row.text(query->fieldIndex("absent")), QByteArrayView("t"));
    EXPECT_EQ(row.text(query->fieldIndex("n")), QByteArrayView("42"));
    EXPECT_EQ(query->fieldIndex("nothing"), -1);
    EXPECT_FALSE(query->next(error));
    EXPECT_FALSE(error.isValid());
}

TEST_F(PostgresNativeQueryTest, FailuresCarryTheServersTextAndStateAsTheDriverWordsThem)
{
    const QString broken = "select MsgID from Tracking where PracID = :p order by NoSuchColumn";
    DbStatement native(db, broken);
    native.bind("p", ParamType::Text, "P");
    const std::string nativeError = errorOf([&] { native.startOnPostgres(); });
    DbStatement viaDriver(db, broken);
    viaDriver.bind("p", ParamType::Text, "P");
    // The driver says it could not prepare; unprepared, the same server text comes with the run.
    const auto serverText = [](const std::string &error) { return error.substr(error.find("ERROR:")); };
    EXPECT_EQ(serverText(nativeError), serverText(errorOf([&] { viaDriver.open(); })));
    EXPECT_EQ(nativeError.rfind("QPSQL: Unable to create query: ERROR:  ", 0), 0u) << nativeError;
    EXPECT_NE(nativeError.find("nosuchcolumn"), std::string::npos) << nativeError;
    EXPECT_NE(nativeError.find("(42703)"), std::string::npos) << nativeError;
    // A refused statement is not a lost session: the connection stays open.
    EXPECT_TRUE(db.isOpen());
}

TEST_F(PostgresNativeQueryTest, ResultsComeWholeWhenNothingElseRunsAndTheSessionIsFreeAfter)
{
    DbStatement s(db, "select MsgID, Patient from Tracking where PracID = :p order by MsgID");
    s.bind("p", ParamType::Text, "P");
    std::unique_ptr<PostgresNativeQuery> query = start(s);
    EXPECT_EQ(readAll(*query), std::make_pair(20000, QString()));
    EXPECT_FALSE(query->isActive());
    EXPECT_EQ(db.execute("update Tracking set Test = 'x' where MsgID = 'M00001'"), 1);

    // Finishing early drops the rest; the session runs the next statement at once.
    query = start(s);
    query->finish();
    EXPECT_EQ(db.execute("update Tracking set Test = 'y' where MsgID = 'M00001'"), 1);
    s.bind("p", ParamType::Text, "none");
    query = start(s);
    EXPECT_EQ(readAll(*query), std::make_pair(0, QString()));
    EXPECT_EQ(query->fieldIndex("patient"), 1); // an empty result still names its fields
}

TEST_F(PostgresNativeQueryTest, AnotherStatementOrAClosedConnectionEndsTheReadWithAnErrorNotShort)
{
    DbStatement s(db, "select MsgID, Patient from Tracking where PracID = :p order by MsgID");
    s.bind("p", ParamType::Text, "P");
    std::unique_ptr<PostgresNativeQuery> query = start(s);
    QSqlError error;
    ASSERT_TRUE(query->next(error));
    EXPECT_EQ(db.execute("update Tracking set Test = 'x' where MsgID = 'M00002'"), 1);
    const auto [rows, failure] = readAll(*query);
    EXPECT_EQ(rows, 0);
    EXPECT_TRUE(failure.contains("results lost")) << failure.toStdString();

    query = start(s);
    ASSERT_TRUE(query->next(error));
    db.close();
    EXPECT_FALSE(readAll(*query).second.isEmpty());
    query.reset();
    EXPECT_EQ(db.execute("update Tracking set Test = 'y' where MsgID = 'M00002'"), 1);
}

TEST_F(PostgresNativeQueryTest, ServerEndingTheSessionMidReadIsALostConnection)
{
    DbStatement s(db, "select MsgID, Patient from Tracking where PracID = :p order by MsgID");
    s.bind("p", ParamType::Text, "P");
    std::unique_ptr<PostgresNativeQuery> query = start(s);
    QSqlError error;
    ASSERT_TRUE(query->next(error));
    DbConnection admin(folder.path());
    admin.open(database->connectionString());
    admin.execute("select pg_terminate_backend(pid) from pg_stat_activity where datname = current_database() "
                  "and pid <> pg_backend_pid() and state <> 'idle'");
    int rows = 1;
    while (query->next(error))
        ++rows;
    ASSERT_TRUE(error.isValid()) << "the read ended without a word after " << rows << " rows";
    EXPECT_LT(rows, 20000);
    EXPECT_TRUE(db.dialect().connectionLost(error)) << sqlErrorText(error).toStdString();
}

} // namespace
