#include "shared/config/ConnectionString.h"
#include "shared/db/postgres/PostgresSession.h"
#include "tests/db/SessionConformance.h"
#include "tests/support/TestDatabase.h"

#include <QElapsedTimer>

namespace {

std::unique_ptr<db::Session> newPostgresSession(const QString &folder, QString *skipReason)
{
    if (!TestPostgres::server(skipReason))
        return nullptr;
    auto database = std::make_unique<TestDatabase>(Backend::PostgreSql, folder);
    auto session = db::openPostgresSession(resolveConnectionString(database->connectionString(), folder));
    return std::make_unique<SessionOnTestDatabase>(std::move(database), std::move(session));
}

qint64 integerOf(db::Session &session, const QString &sql)
{
    auto cursor = session.prepare(sql)->query();
    EXPECT_TRUE(cursor->next());
    return cursor->integer(0);
}

class PostgresSession : public NewDatabaseTest
{
protected:
    void SetUp() override
    {
        NewDatabaseTest::SetUp();
        if (IsSkipped())
            return;
        target = resolveConnectionString(database->connectionString(), folder.path());
        session = db::openPostgresSession(target);
        session->execute(QStringLiteral("create table t (id bigint primary key, txt text)"));
    }

    ConnectionTarget target;
    std::unique_ptr<db::Session> session; // ends before its database is dropped
};

} // namespace

OVTRACK_SESSION_CONFORMANCE(PostgresSessions,
                            (SessionKind{"PostgreSQL", newPostgresSession, QStringLiteral("bigint"),
                                         QStringLiteral("timestamp(3)"), QStringLiteral("bytea"),
                                         QStringLiteral("select generate_series(1, 100000)"),
                                         QStringLiteral("select pg_terminate_backend(pg_backend_pid())")}));

INSTANTIATE_TEST_SUITE_P(, PostgresSession, ::testing::Values(Backend::PostgreSql), backendName);

TEST_P(PostgresSession, CastsDollarBodiesAndEscapedStringsKeepTheirText)
{
    auto statement = session->prepare(QStringLiteral(
        "select :Value::integer + 1, $$ :x stays $$, $body$ :y $body$, E'it\\'s :z', :Other::text"));
    EXPECT_EQ(statement->parameterNames(), (QStringList{QStringLiteral("Value"), QStringLiteral("Other")}));
    statement->bind(QStringLiteral("Value"), qint64(41));
    statement->bind(QStringLiteral("Other"), QStringLiteral("bound"));
    auto row = statement->query();
    ASSERT_TRUE(row->next());
    EXPECT_EQ(row->integer(0), 42);
    EXPECT_EQ(row->text(1), QStringLiteral(" :x stays "));
    EXPECT_EQ(row->text(2), QStringLiteral(" :y "));
    EXPECT_EQ(row->text(3), QStringLiteral("it's :z"));
    EXPECT_EQ(row->text(4), QStringLiteral("bound"));
    EXPECT_FALSE(row->next());

    session->execute(QStringLiteral("DO $$ BEGIN PERFORM ':x'; END $$"));
}

TEST_P(PostgresSession, DatesZonedTimesAndSmallTypesReadAsWritten)
{
    session->execute(QStringLiteral("set time zone 'UTC'"));
    auto row =
        session
            ->prepare(QStringLiteral("select date '2017-10-15', timestamptz '2021-03-28 01:30:00.123456+00', "
                                     "true, false, 7::smallint, 'infinity'::timestamp"))
            ->query();
    ASSERT_TRUE(row->next());
    EXPECT_EQ(row->dateTime(0), QDateTime(QDate(2017, 10, 15), QTime(0, 0), Qt::UTC));
    EXPECT_EQ(row->dateTime(1), QDateTime(QDate(2021, 3, 28), QTime(1, 30, 0, 123), Qt::UTC));
    EXPECT_EQ(row->value(2), DbValue(qint64(1)));
    EXPECT_EQ(row->value(3), DbValue(qint64(0)));
    EXPECT_EQ(row->value(4), DbValue(qint64(7)));
    EXPECT_FALSE(row->dateTime(5).isValid());
}

TEST_P(PostgresSession, DestroyedStatementsAreReleasedInBatchesOutsideTransactions)
{
    auto prepared = session->prepare(QStringLiteral("select count(*) from pg_prepared_statements"));
    const auto preparedCount = [&] {
        auto cursor = prepared->query();
        EXPECT_TRUE(cursor->next());
        return cursor->integer(0);
    };
    const qint64 before = preparedCount();

    const auto insert = [&](qint64 id) {
        auto statement = session->prepare(QStringLiteral("insert into t (id) values (:Id)"));
        statement->bind(QStringLiteral("Id"), id);
        statement->run();
    };
    session->prepare(QStringLiteral("select 1")); // never run, so never prepared on the server

    session->begin();
    for (qint64 id = 1; id <= 10; ++id)
        insert(id);
    EXPECT_EQ(preparedCount(), before + 10) << "kept while the transaction is open";
    session->commit();
    EXPECT_EQ(preparedCount(), before) << "released together once the transaction ended";
    EXPECT_EQ(integerOf(*session, QStringLiteral("select count(*) from t")), 10);

    session->begin();
    {
        auto insert = session->prepare(QStringLiteral("insert into t (id) values (1)"));
        EXPECT_EQ(failureKind([&] { insert->run(); }), DbError::Kind::DuplicateKey);
    } // destroyed while the transaction is aborted
    EXPECT_EQ(failureKind([&] { session->commit(); }), DbError::Kind::Other)
        << "a failed transaction rolls back";
    EXPECT_EQ(preparedCount(), before + 2) << "the count of t and the insert prepared before it failed wait";
    for (qint64 id = 11; id <= 16; ++id)
        insert(id);
    EXPECT_EQ(preparedCount(), before) << "a batch of eight released outside a transaction";
}

TEST_P(PostgresSession, ATextRefusedAtItsFirstRunLeavesTheSessionUsable)
{
    auto refused = session->prepare(QStringLiteral("selec 1 from t"));
    EXPECT_EQ(failureKind([&] { refused->run(); }), DbError::Kind::Other);
    EXPECT_EQ(failureKind([&] { refused->query(); }), DbError::Kind::Other);
    EXPECT_EQ(integerOf(*session, QStringLiteral("select 5")), 5);
    EXPECT_EQ(session->execute(QStringLiteral("insert into t (id) values (1), (2)")), 2);
}

TEST_P(PostgresSession, ASessionEndedFromAnotherSessionIsFoundLost)
{
    auto statement = session->prepare(QStringLiteral("select 1"));
    const qint64 pid = integerOf(*session, QStringLiteral("select pg_backend_pid()"));
    {
        auto other = db::openPostgresSession(target);
        auto terminate = other->prepare(QStringLiteral("select pg_terminate_backend(:Pid, 5000)"));
        terminate->bind(QStringLiteral("Pid"), pid);
        EXPECT_EQ(terminate->run(), 1);
    }
    EXPECT_EQ(failureKind([&] { statement->run(); }), DbError::Kind::ConnectionLost);
    EXPECT_TRUE(session->isLost());
    EXPECT_FALSE(statement->isUsable());
    EXPECT_EQ(failureKind([&] { session->begin(); }), DbError::Kind::ConnectionLost);
}

TEST_P(PostgresSession, AnotherStatementEndsAHugeReadAtOnce)
{
    auto cursor = session->prepare(QStringLiteral("select generate_series(1, 10000000)"))->query();
    for (int row = 0; row < 10; ++row)
        ASSERT_TRUE(cursor->next());
    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(integerOf(*session, QStringLiteral("select 5")), 5);
    // Reading the ten million rows would take seconds; what was in flight, a few milliseconds (more
    // under a sanitizer on a busy machine).
    EXPECT_LT(timer.elapsed(), 1000) << "the rest of the result was read instead of cancelled";
    EXPECT_EQ(failureKind([&] { cursor->next(); }), DbError::Kind::Other);

    auto again = session->prepare(QStringLiteral("select generate_series(1, 10000000)"))->query();
    ASSERT_TRUE(again->next());
    timer.restart();
    session->cancel();
    EXPECT_LT(timer.elapsed(), 1000);
    EXPECT_EQ(failureKind([&] { again->next(); }), DbError::Kind::Other);
}

TEST_P(PostgresSession, StatementsAndCursorsOutlivingTheirSessionRefuseWork)
{
    auto statement = session->prepare(QStringLiteral("select generate_series(1, 1000)"));
    auto cursor = statement->query();
    ASSERT_TRUE(cursor->next());
    session.reset();
    EXPECT_EQ(failureKind([&] { cursor->next(); }), DbError::Kind::Other);
    EXPECT_FALSE(statement->isUsable());
    EXPECT_EQ(failureKind([&] { statement->run(); }), DbError::Kind::AccessLayer);
    EXPECT_EQ(failureKind([&] { statement->query(); }), DbError::Kind::AccessLayer);
}

TEST_P(PostgresSession, AFailedConnectionSaysWhetherToTryAgain)
{
    ConnectionTarget missingDatabase = target;
    missingDatabase.databaseName = QStringLiteral("no_such_database");
    try {
        db::openPostgresSession(missingDatabase);
        ADD_FAILURE() << "a missing database was opened";
    } catch (const DbError &error) {
        EXPECT_EQ(error.kind(), DbError::Kind::Other) << error.message().toStdString();
        EXPECT_TRUE(error.message().contains(QLatin1String("no_such_database")));
    }
    ConnectionTarget noServer = target;
    noServer.hostName = folder.makeFolder(QStringLiteral("no-server"));
    EXPECT_EQ(failureKind([&] { db::openPostgresSession(noServer); }), DbError::Kind::ConnectionLost);
}

// The server writes a timestamp's fraction without trailing zeros, up to microseconds, and a timestamptz with the
// session's zone after it; what is no wall-clock value within years 1 to 9999 reads as no date-time.
TEST_P(PostgresSession, TimestampTextsReadAsWallClockToTheMillisecond)
{
    session->execute(QStringLiteral("set time zone 'Asia/Kolkata'"));
    const std::pair<QString, QDateTime> cases[] = {
        {QStringLiteral("2024-03-31 01:30:00"), QDateTime(QDate(2024, 3, 31), QTime(1, 30), Qt::UTC)},
        {QStringLiteral("2024-10-27 01:30:00.25"), QDateTime(QDate(2024, 10, 27), QTime(1, 30, 0, 250), Qt::UTC)},
        {QStringLiteral("2017-10-15 00:30:05.007"), QDateTime(QDate(2017, 10, 15), QTime(0, 30, 5, 7), Qt::UTC)},
        {QStringLiteral("1900-01-01 23:59:59.123456"), QDateTime(QDate(1900, 1, 1), QTime(23, 59, 59, 123), Qt::UTC)},
        {QStringLiteral("infinity"), {}},
        {QStringLiteral("-infinity"), {}},
        {QStringLiteral("0044-03-15 00:00:00 BC"), {}},
        {QStringLiteral("10000-01-01 00:00:00"), {}},
    };
    auto statement =
        session->prepare(QStringLiteral("select :Text::timestamp, :Text::timestamptz, :Text::timestamp::text"));
    for (const auto &[text, expected] : cases) {
        statement->bind(QStringLiteral("Text"), text);
        auto row = statement->query();
        ASSERT_TRUE(row->next());
        EXPECT_EQ(row->text(2), text) << "the server writes it as given";
        for (int column : {0, 1}) {
            const QDateTime read = row->dateTime(column);
            EXPECT_EQ(read, expected) << text.toStdString() << " in column " << column;
            EXPECT_EQ(read.isValid() ? read.timeSpec() : Qt::UTC, Qt::UTC) << text.toStdString();
        }
    }
}
