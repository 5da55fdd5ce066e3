#include "shared/config/ConnectionString.h"
#include "shared/db/odbc/OdbcSession.h"
#include "tests/db/SessionConformance.h"
#include "tests/support/PostgresServer.h"
#include "tests/support/TestDatabase.h"

#include <QElapsedTimer>

namespace {

// The test PostgreSQL server through psqlODBC's Unicode driver, on its socket folder. The driver
// reads the whole result at execute unless told to fetch through a server cursor; a cursor here
// should stream as FreeTDS does, so that cancelling and interrupting reads meet rows still unread.
std::unique_ptr<db::Session> openThroughPostgresDriver(const QString &folder, SqlSyntax syntax,
                                                       QString *skipReason)
{
    PostgresServer *server = TestPostgres::server(skipReason);
    if (!server)
        return nullptr;
    auto database = std::make_unique<TestDatabase>(Backend::PostgreSql, folder);
    const QString name =
        parseInitString(database->connectionString()).value(QStringLiteral("initial catalog"));
    const QString odbc = QStringLiteral("Driver={PostgreSQL Unicode};Servername=%1;Port=5432;Database=%2;"
                                        "Username=%3;UseDeclareFetch=1;Fetch=1000")
                             .arg(server->socketFolder(), name, PostgresServer::superuser());
    try {
        return std::make_unique<SessionOnTestDatabase>(std::move(database),
                                                       db::openOdbcSession(odbc, syntax, 5));
    } catch (const DbError &error) {
        // IM002: no such driver; IM003: it could not be loaded.
        if (error.code() != QLatin1String("IM002") && error.code() != QLatin1String("IM003"))
            throw;
        *skipReason = QStringLiteral("psqlODBC (odbc-postgresql) is not installed: ") + error.message();
        return nullptr;
    }
}

class OdbcSessionTest : public ::testing::Test
{
protected:
    void open(SqlSyntax syntax)
    {
        QString reason;
        session = openThroughPostgresDriver(folder.path(), syntax, &reason);
        if (!session)
            GTEST_SKIP() << reason.toStdString();
    }

    TestFolder folder;
    std::unique_ptr<db::Session> session;
};

} // namespace

OVTRACK_SESSION_CONFORMANCE(PostgreSqlThroughOdbc,
                            (SessionKind{"PostgreSqlThroughOdbc",
                                         [](const QString &folder, QString *skipReason) {
                                             return openThroughPostgresDriver(folder, SqlSyntax::PostgreSql,
                                                                              skipReason);
                                         },
                                         QStringLiteral("bigint"), QStringLiteral("timestamp(3)"),
                                         QStringLiteral("bytea"),
                                         QStringLiteral("select generate_series(1, 100000)"),
                                         QStringLiteral("select pg_terminate_backend(pg_backend_pid())")}));

TEST(OdbcSession, AnUnreachableSqlServerFailsSoonAsLost)
{
    const QString odbc = odbcConnectionString(parseInitString(QStringLiteral(
        "Provider=SQLNCLI11;Data Source=127.0.0.1,1;Initial Catalog=tracking;User ID=sa;Password=x")));
    QElapsedTimer timer;
    timer.start();
    try {
        db::openOdbcSession(odbc, SqlSyntax::SqlServer, 5);
        ADD_FAILURE() << "a closed port was connected to";
    } catch (const DbError &error) {
        EXPECT_EQ(error.kind(), DbError::Kind::ConnectionLost) << error.message().toStdString();
        EXPECT_FALSE(error.message().isEmpty());
    }
    EXPECT_LT(timer.elapsed(), 5000);
}

TEST(OdbcSession, SqlServerFailuresThatEndTheSessionAreLost)
{
    const auto kind = [](const char *state, int native, SqlSyntax syntax = SqlSyntax::SqlServer) {
        return db::odbcErrorKind(QString::fromLatin1(state), native, syntax);
    };
    for (const char *state : {"08S01", "08001", "HYT00", "40001"})
        EXPECT_EQ(kind(state, 0), DbError::Kind::ConnectionLost) << state;
    for (int native : {10054, 233, 596, 1205, 1222})
        EXPECT_EQ(kind("HY000", native), DbError::Kind::ConnectionLost) << native;
    EXPECT_EQ(kind("22001", 8152), DbError::Kind::Data);
    EXPECT_EQ(kind("23000", 2627), DbError::Kind::DuplicateKey);
    EXPECT_EQ(kind("42S02", 208), DbError::Kind::Other);
    EXPECT_EQ(kind("HY000", 1205, SqlSyntax::PostgreSql), DbError::Kind::Other) << "the numbers are SQL Server's own";
}

TEST_F(OdbcSessionTest, SqlServerNamesInBracketsAreNoParametersAndARepeatedNameIsBoundTwice)
{
    open(SqlSyntax::SqlServer);
    // "[2:n]" is a quoted name to SQL Server and an array slice to PostgreSQL: either way no parameter.
    auto statement = session->prepare(
        QStringLiteral("select :Value * 10 + :value, (array[10, 20, 30])[2:n] from (select 3 as n) as s"));
    EXPECT_EQ(statement->parameterNames(), QStringList{QStringLiteral("Value")});
    statement->bind(QStringLiteral("Value"), qint64(4));
    auto cursor = statement->query();
    ASSERT_TRUE(cursor->next());
    EXPECT_EQ(cursor->integer(0), 44);
    EXPECT_EQ(cursor->text(1), QStringLiteral("{20,30}"));
    EXPECT_FALSE(cursor->next());
}

TEST_F(OdbcSessionTest, LongValuesRoundTripInChunks)
{
    open(SqlSyntax::PostgreSql);
    session->execute(QStringLiteral("create table t (txt text, raw bytea)"));
    const QString text = QStringLiteral("Zürich \U0001F9EA ").repeated(3000);
    QByteArray bytes;
    for (int i = 0; i < 50000; ++i)
        bytes.append(static_cast<char>(i * 7));
    auto insert = session->prepare(QStringLiteral("insert into t (txt, raw) values (:Txt, :Raw)"));
    insert->bind(QStringLiteral("Txt"), text);
    insert->bind(QStringLiteral("Raw"), bytes);
    EXPECT_EQ(insert->run(), 1);
    auto cursor = session->prepare(QStringLiteral("select txt, raw from t"))->query();
    ASSERT_TRUE(cursor->next());
    EXPECT_EQ(cursor->text(0), text);
    EXPECT_EQ(cursor->bytes(1), bytes);
}

TEST_F(OdbcSessionTest, StatementsAndCursorsOutliveTheirSession)
{
    open(SqlSyntax::PostgreSql);
    auto statement = session->prepare(QStringLiteral("select generate_series(1, 5000)"));
    auto cursor = statement->query();
    ASSERT_TRUE(cursor->next());
    session.reset();
    EXPECT_FALSE(statement->isUsable());
    try {
        statement->run();
        ADD_FAILURE() << "a statement ran without its session";
    } catch (const DbError &error) {
        EXPECT_EQ(error.kind(), DbError::Kind::AccessLayer);
    }
    EXPECT_THROW(cursor->next(), DbError) << "a read ended by closing its session must not end short";
}
