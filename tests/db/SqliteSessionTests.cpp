#include "shared/db/sqlite/SqliteSession.h"
#include "tests/db/SessionConformance.h"

#include <QFile>

namespace {

using OpenMode = db::Session::OpenMode;

std::unique_ptr<db::Session> newConformanceDatabase(const QString &folder, QString *)
{
    return db::openSqliteSession(folder + QStringLiteral("conformance.db"), OpenMode::Creating);
}

class SqliteSession : public ::testing::Test
{
protected:
    // A session on a new file in the test's folder holding table t (id, txt).
    std::unique_ptr<db::Session> openWithTable(const QString &name = QStringLiteral("test.db"))
    {
        auto session = db::openSqliteSession(folder.filePath(name), OpenMode::Creating);
        session->execute(QStringLiteral("create table t (id integer primary key, txt text)"));
        return session;
    }

    TestFolder folder;
};

} // namespace

OVTRACK_SESSION_CONFORMANCE(Sqlite, (SessionKind{"Sqlite", newConformanceDatabase, QStringLiteral("integer"),
                                                 QStringLiteral("text"), QStringLiteral("blob"),
                                                 QStringLiteral("with recursive n(i) as (select 1 union all "
                                                                "select i + 1 from n where i < 100000) "
                                                                "select i from n"),
                                                 QString()}));

TEST_F(SqliteSession, ExistingRefusesAMissingFileAndCreatesNothing)
{
    const QString file = folder.filePath(QStringLiteral("missing.db"));
    EXPECT_EQ(failureKind([&] { db::openSqliteSession(file, OpenMode::Existing); }), DbError::Kind::Other);
    EXPECT_FALSE(QFile::exists(file));
}

TEST_F(SqliteSession, AnInMemoryDatabaseOpens)
{
    auto session = db::openSqliteSession(QStringLiteral(":memory:"), OpenMode::Existing);
    session->execute(QStringLiteral("create table t (id integer)"));
    EXPECT_EQ(session->execute(QStringLiteral("insert into t values (1)")), 1);
}

TEST_F(SqliteSession, AtRestReadsWhatAnotherSessionWroteAndRefusesWrites)
{
    auto writer = openWithTable(QStringLiteral("at rest #1 100%.db")); // characters a URI must encode
    writer->execute(QStringLiteral("insert into t (id, txt) values (1, 'written')"));
    auto reader =
        db::openSqliteSession(folder.filePath(QStringLiteral("at rest #1 100%.db")), OpenMode::AtRest);
    auto cursor = reader->prepare(QStringLiteral("select txt from t"))->query();
    ASSERT_TRUE(cursor->next());
    EXPECT_EQ(cursor->text(0), QStringLiteral("written"));
    cursor.reset();
    EXPECT_EQ(failureKind([&] { reader->execute(QStringLiteral("insert into t (id) values (2)")); }),
              DbError::Kind::Other);
    EXPECT_EQ(countOf(*writer, QStringLiteral("t")), 1);
}

TEST_F(SqliteSession, ATextOfTwoStatementsIsRefused)
{
    auto session = openWithTable();
    EXPECT_EQ(failureKind([&] {
                  session->prepare(
                      QStringLiteral("insert into t (id) values (1); insert into t (id) values (2)"));
              }),
              DbError::Kind::AccessLayer);
    EXPECT_EQ(countOf(*session, QStringLiteral("t")), 0);
    EXPECT_EQ(session->execute(QStringLiteral("insert into t (id) values (3); -- done\n ; /* end */ ")), 1);
}

TEST_F(SqliteSession, DateTimesAreStoredAsSortableText)
{
    auto session = openWithTable();
    auto insert = session->prepare(QStringLiteral("insert into t (id, txt) values (1, :At)"));
    insert->bind(QStringLiteral("At"), QDateTime(QDate(2024, 2, 9), QTime(7, 5, 3, 9), Qt::UTC));
    insert->run();
    auto cursor = session->prepare(QStringLiteral("select typeof(txt), txt from t"))->query();
    ASSERT_TRUE(cursor->next());
    EXPECT_EQ(cursor->text(0), QStringLiteral("text"));
    EXPECT_EQ(cursor->text(1), QStringLiteral("2024-02-09 07:05:03.009"));
}

TEST_F(SqliteSession, ARunCountsOnlyTheRowsItChanged)
{
    auto session = openWithTable();
    EXPECT_EQ(session->execute(QStringLiteral("insert into t (id) values (1), (2), (3)")), 3);
    EXPECT_EQ(session->execute(QStringLiteral("create table u (id integer)")), 0);
    EXPECT_EQ(session->execute(QStringLiteral("update t set txt = 'x' where id > 5")), 0);
    EXPECT_EQ(session->execute(QStringLiteral("select id from t")), 0);
}

TEST_F(SqliteSession, AWriteLockHeldByAnotherSessionFailsAsConnectionLost)
{
    auto holder = openWithTable();
    auto other = db::openSqliteSession(folder.filePath(QStringLiteral("test.db")), OpenMode::Existing);
    other->execute(QStringLiteral("pragma busy_timeout = 50")); // not the session's 5 s
    holder->begin(true);
    EXPECT_EQ(failureKind([&] { other->execute(QStringLiteral("insert into t (id) values (1)")); }),
              DbError::Kind::ConnectionLost);
    holder->rollback();
    EXPECT_EQ(other->execute(QStringLiteral("insert into t (id) values (1)")), 1);
}

TEST_F(SqliteSession, EveryStepOnTheSessionEndsAnOpenRead)
{
    auto session = openWithTable();
    session->execute(QStringLiteral("insert into t (id) values (1), (2)"));
    auto read = session->prepare(QStringLiteral("select id from t"));
    auto insert = session->prepare(QStringLiteral("insert into t (id) values (3)"));
    // In this order, so that each transaction step is one the session accepts.
    const std::vector<std::function<void()>> steps{
        [&] { insert->run(); },     [&] { read->query(); },        [&] { session->begin(); },
        [&] { session->commit(); }, [&] { session->begin(true); }, [&] { session->rollback(); },
        [&] { session->cancel(); }};
    for (size_t step = 0; step < steps.size(); ++step) {
        auto cursor = read->query();
        ASSERT_TRUE(cursor->next());
        steps[step]();
        EXPECT_EQ(failureKind([&] { cursor->next(); }), DbError::Kind::Other) << step;
    }
}

TEST_F(SqliteSession, AReadToItsEndReleasesTheSession)
{
    auto session = openWithTable();
    session->execute(QStringLiteral("insert into t (id) values (1)"));
    auto cursor = session->prepare(QStringLiteral("select id from t"))->query();
    ASSERT_TRUE(cursor->next());
    EXPECT_FALSE(cursor->next());
    session->execute(QStringLiteral("insert into t (id) values (2)"));
    EXPECT_FALSE(cursor->next()) << "an ended read stays ended without an error";
}

TEST_F(SqliteSession, AStatementAndCursorOutliveTheirSession)
{
    auto session = openWithTable();
    session->execute(QStringLiteral("insert into t (id) values (1), (2)"));
    auto statement = session->prepare(QStringLiteral("select id from t"));
    auto cursor = statement->query();
    ASSERT_TRUE(cursor->next());
    EXPECT_TRUE(statement->isUsable());
    session.reset();
    EXPECT_FALSE(statement->isUsable());
    EXPECT_EQ(failureKind([&] { cursor->next(); }), DbError::Kind::Other);
    EXPECT_EQ(failureKind([&] { statement->run(); }), DbError::Kind::AccessLayer);
    EXPECT_EQ(failureKind([&] { statement->query(); }), DbError::Kind::AccessLayer);
    statement.reset();
    cursor.reset();
    auto reopened = db::openSqliteSession(folder.filePath(QStringLiteral("test.db")), OpenMode::Existing);
    EXPECT_EQ(reopened->execute(QStringLiteral("insert into t (id) values (3)")), 1)
        << "the file was released";
}

TEST_F(SqliteSession, Utf8AndIsNullReadTheColumnAsTextAndValueWould)
{
    auto session = openWithTable();
    auto cursor = session->prepare(QStringLiteral("select 'Zürich', null, 42, 0.1 + 0.2, x'6869'"))->query();
    ASSERT_TRUE(cursor->next());
    for (int column = 0; column < 5; ++column) {
        EXPECT_EQ(cursor->isNull(column), column == 1) << column;
        EXPECT_EQ(cursor->utf8(column).toByteArray(), cursor->text(column).toUtf8()) << column;
    }
    EXPECT_EQ(QString::fromUtf8(cursor->utf8(0)), QStringLiteral("Zürich"));
    EXPECT_EQ(cursor->utf8(3).toByteArray(), QByteArray("0.30000000000000004")) << "as value() writes a number";
    EXPECT_FALSE(cursor->next());
    EXPECT_TRUE(cursor->isNull(0)) << "an ended read has no row";
    EXPECT_TRUE(cursor->utf8(0).isEmpty());
}
