#include "shared/DbConnection.h"
#include "shared/DbError.h"
#include "shared/DbStatement.h"
#include "shared/PostgresNativeQuery.h"

#include "tests/shared/ErrorOf.h"
#include "tests/shared/PostgresTrackingTest.h"

#include <gtest/gtest.h>

// Statements sent through libpq beside Qt's PostgreSQL driver, on the driver's own session.
namespace {

class PostgresNativeQueryTest : public PostgresTrackingTest
{
protected:
    void SetUp() override
    {
        PostgresTrackingTest::SetUp();
        if (IsSkipped())
            return;
        // Five megabytes: far more than the socket holds, so the server is still sending while a test reads.
        db.execute("insert into Tracking (MsgID, PracID, Patient) select 'M' || lpad(n::text, 5, '0'), 'P', "
                   "repeat('x', 230) from generate_series(1, 20000) as n");
        allRows.bind("p", ParamType::Text, "P");
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

    // Started, standing on its first row: the rest is still coming.
    std::unique_ptr<PostgresNativeQuery> readingAllRows()
    {
        std::unique_ptr<PostgresNativeQuery> query = start(allRows);
        QSqlError error;
        EXPECT_TRUE(query && query->next(error)) << sqlErrorText(error).toStdString();
        return query;
    }

    DbStatement allRows{db, "select MsgID, Patient from Tracking where PracID = :p order by MsgID"};
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
    std::unique_ptr<PostgresNativeQuery> query = start(allRows);
    EXPECT_EQ(readAll(*query), std::make_pair(20000, QString()));
    EXPECT_FALSE(query->isActive());
    EXPECT_EQ(db.execute("update Tracking set Test = 'x' where MsgID = 'M00001'"), 1);

    // Finishing early drops the rest; the session runs the next statement at once.
    query = start(allRows);
    query->finish();
    EXPECT_EQ(db.execute("update Tracking set Test = 'y' where MsgID = 'M00001'"), 1);
    allRows.bind("p", ParamType::Text, "none");
    query = start(allRows);
    EXPECT_EQ(readAll(*query), std::make_pair(0, QString()));
    EXPECT_EQ(query->fieldIndex("patient"), 1); // an empty result still names its fields
}

TEST_F(PostgresNativeQueryTest, AnotherStatementOrAClosedConnectionEndsTheReadWithAnErrorNotShort)
{
    std::unique_ptr<PostgresNativeQuery> query = readingAllRows();
    ASSERT_TRUE(query);
    EXPECT_EQ(db.execute("update Tracking set Test = 'x' where MsgID = 'M00002'"), 1);
    const auto [rows, failure] = readAll(*query);
    EXPECT_EQ(rows, 0);
    EXPECT_TRUE(failure.contains("results lost")) << failure.toStdString();

    query = readingAllRows();
    ASSERT_TRUE(query);
    db.close();
    EXPECT_FALSE(readAll(*query).second.isEmpty());
    query.reset();
    EXPECT_EQ(db.execute("update Tracking set Test = 'y' where MsgID = 'M00002'"), 1);
}

TEST_F(PostgresNativeQueryTest, ServerEndingTheSessionMidReadIsALostConnection)
{
    std::unique_ptr<PostgresNativeQuery> query = readingAllRows();
    ASSERT_TRUE(query);
    DbConnection admin(folder.path());
    admin.open(database->connectionString());
    admin.execute("select pg_terminate_backend(pid) from pg_stat_activity where datname = current_database() "
                  "and pid <> pg_backend_pid() and state <> 'idle' and backend_type = 'client backend'");
    int rows = 1;
    QSqlError error;
    while (query->next(error))
        ++rows;
    ASSERT_TRUE(error.isValid()) << "the read ended without a word after " << rows << " rows";
    EXPECT_LT(rows, 20000);
    EXPECT_TRUE(db.dialect().connectionLost(error)) << sqlErrorText(error).toStdString();
}

} // namespace

namespace {

using PostgresPreparedTest = PostgresNativeQueryTest;

// The names this program prepared on the connection's session.
int preparedOnSession(DbConnection &db)
{
    return int(*DbStatement(db, "select count(*) as n from pg_prepared_statements where name like 'ovtrack_%'")
                    .open()
                    .integer(0, "n"));
}

TEST_F(PostgresPreparedTest, ARepeatedStatementReadsAsTheDriverReadsItAndIsPreparedOnlyWhileItLives)
{
    db.execute("create table Kinds (Id int, Name varchar(20), Stamp timestamp(3), Small smallint, Big bigint, "
               "Flag boolean, Amount numeric(10,2), Day date, Bytes bytea)");
    db.execute("insert into Kinds values (1, 'Ñúñez', '2024-03-01 09:08:07.5', 7, 9000000000, true, 12.5, "
               "'2024-02-29', '\\x00ff27'), (2, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL)");
    {
        DbStatement select(db, "select * from Kinds where Id <= :max order by Id");
        select.bind("max", ParamType::Int, 2);
        const DbResult viaDriver = select.open();
        EXPECT_EQ(preparedOnSession(db), 0); // a statement run once stays with the driver
        const DbResult viaLibpq = select.open();
        EXPECT_EQ(preparedOnSession(db), 1);
        ASSERT_EQ(viaLibpq.rowCount(), 2);
        EXPECT_EQ(viaLibpq.fieldNames(), viaDriver.fieldNames());
        for (int row = 0; row < 2; ++row) {
            for (const QString &field : viaDriver.fieldNames()) {
                const QVariant expected = viaDriver.value(row, field);
                const QVariant actual = viaLibpq.value(row, field);
                EXPECT_EQ(actual.isNull(), expected.isNull()) << field.toStdString() << row;
                if (!expected.isNull() && field != "stamp") { // the driver reads it as local time
                    EXPECT_EQ(actual, expected) << field.toStdString() << " " << row;
                }
            }
        }
        EXPECT_EQ(viaLibpq.dateTime(0, "Stamp"), viaDriver.dateTime(0, "Stamp"));
        EXPECT_EQ(viaLibpq.value(0, "Bytes").toByteArray(), QByteArray("\x00\xff'", 3));
    }
    EXPECT_EQ(preparedOnSession(db), 0); // given back with the statement

    DbStatement insert(db, "insert into Kinds (Id, Bytes, Name) values (:id, :bytes, :name)");
    for (int id : {3, 4}) {
        insert.bind("id", ParamType::Int, id);
        insert.bind("bytes", ParamType::LongText, QByteArray("\0'\\x", 4) + char(id));
        insert.bind("name", ParamType::Text, "O'Brien");
        EXPECT_EQ(insert.execute(), 1);
    }
    db.close(); // a new session prepares again
    insert.bind("id", ParamType::Int, 5);
    EXPECT_EQ(insert.execute(), 1);
    EXPECT_EQ(insert.execute(), 1);
    const DbResult stored =
        DbStatement(db, "select Id, Bytes, Name from Kinds where Id >= 3 order by Id").open();
    ASSERT_EQ(stored.rowCount(), 4);
    EXPECT_EQ(stored.value(1, "Bytes").toByteArray(), QByteArray("\0'\\x\x04", 5));
    EXPECT_EQ(stored.text(1, "Name"), "O'Brien");
}

TEST_F(PostgresPreparedTest, ATextWithANulCharacterIsRefusedNotCutShort)
{
    DbStatement insert(db, "insert into Tracking (MsgID, Patient) values (:id, :patient)");
    insert.bind("patient", ParamType::Text, QString("Smith") + QChar(0) + "son");
    insert.bind("id", ParamType::Text, "n1");
    EXPECT_NE(errorOf([&] { insert.execute(); }), "no error"); // the driver's EXECUTE text breaks there
    insert.bind("id", ParamType::Text, "n2");
    const std::string error = errorOf([&] { insert.execute(); }); // through libpq
    EXPECT_NE(error.find("0x00"), std::string::npos) << error;
    EXPECT_TRUE(DbStatement(db, "select MsgID from Tracking where MsgID in ('n1', 'n2')").open().isEmpty());
    EXPECT_TRUE(db.isOpen()); // refused data, not a lost session
}

} // namespace
