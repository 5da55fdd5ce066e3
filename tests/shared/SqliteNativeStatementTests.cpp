#include "shared/DbConnection.h"
#include "shared/DbError.h"
#include "shared/DbStatement.h"
#include "shared/SqliteNativeSession.h"
#include "shared/WallClock.h"

#include "tests/support/TestFolder.h"

#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>

#include <gtest/gtest.h>

// Statements with parameters run on SQLite's own handle, prepared once a session. What they read,
// bind and report must be what Qt's driver gives for the same statement on the same file.

namespace {

class SqliteNativeStatementTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        db.openCreating(sqliteConnectionString(file));
        db.execute("create table Kinds (Id integer, Whole integer, Real real, Txt text, Bytes blob)");
    }

    int nativeStatements() const { return db.nativeSession() ? db.nativeSession()->statementCount() : 0; }

    // What Qt's driver reports for `sql` on the same connection.
    QString qtFailure(const QString &sql)
    {
        QSqlQuery query(db.database());
        EXPECT_FALSE(query.exec(sql)) << sql.toStdString();
        return sqlErrorText(query.lastError());
    }

    static QString failureOf(const std::function<void()> &action)
    {
        try {
            action();
        } catch (const DbError &e) {
            EXPECT_EQ(e.kind(), DbError::Kind::Other);
            return e.message();
        }
        ADD_FAILURE() << "no error";
        return {};
    }

    TestFolder folder;
    QString file = folder.filePath("native.db");
    DbConnection db{folder.path()};
};

TEST_F(SqliteNativeStatementTest, ReadsEveryKindOfValueAsQtsDriverDoes)
{
    db.execute("insert into Kinds values (1, 42, 2.5, 'Zoë ✓', x'00ff10'), (2, -9000000000, -0.125, '', x''), "
               "(3, null, null, null, null), (4, '17', '3.0', 12, 'text in a blob column')");
    const QString sql = "select Id, Whole, Real, Txt, Bytes, Whole + :Add as Sum from Kinds where Id >= :From "
                        "order by Id";
    DbStatement statement(db, sql);
    statement.bind("From", ParamType::Int, 1);
    statement.bind("Add", ParamType::Int, 1);
    const DbResult native = statement.open();
    EXPECT_GT(nativeStatements(), 0);

    QSqlQuery qt(db.database());
    qt.setForwardOnly(true);
    ASSERT_TRUE(qt.prepare(sql));
    qt.bindValue(":From", 1);
    qt.bindValue(":Add", 1);
    ASSERT_TRUE(qt.exec());
    const QStringList fields{"Id", "Whole", "Real", "Txt", "Bytes", "Sum"};
    EXPECT_EQ(native.fieldNames(), fields);
    int row = 0;
    for (; qt.next(); ++row) {
        ASSERT_LT(row, native.rowCount());
        for (int column = 0; column < fields.size(); ++column) {
            const QVariant expected = qt.value(column);
            const QVariant got = native.value(row, fields[column]);
            const std::string where = QStringLiteral("row %1 %2").arg(row).arg(fields[column]).toStdString();
            EXPECT_EQ(got.metaType(), expected.metaType()) << where;
            EXPECT_EQ(got.isNull(), expected.isNull()) << where;
            EXPECT_EQ(got, expected) << where;
            EXPECT_EQ(native.text(row, fields[column]), expected.toString()) << where;
        }
    }
    EXPECT_EQ(row, 4);
    EXPECT_EQ(native.rowCount(), 4);
    EXPECT_TRUE(native.isNull(2, "Txt"));
    EXPECT_FALSE(native.isNull(1, "Txt"));
    EXPECT_EQ(native.integer(1, "Whole"), -9000000000LL);
}

TEST_F(SqliteNativeStatementTest, BindsEveryParameterTypeAsStoredBefore)
{
    DbStatement insert(db, "insert into Kinds (Id, Whole, Txt, Bytes, Real) values (:Id, :whole, :Txt, :Bytes, "
                           ":Real)");
    const auto stored = [&](int id) {
        DbStatement read(db, "select typeof(Whole) || '/' || coalesce(Whole, '') || '|' || typeof(Txt) || '/' || "
                             "coalesce(Txt, '') || '|' || typeof(Bytes) || '/' || coalesce(hex(Bytes), '') || "
                             "'|' || typeof(Real) as Row from Kinds where Id = :Id");
        read.bind("Id", ParamType::Int, id);
        return read.open().text(0, "Row");
    };
    insert.bind("Id", ParamType::Int, 1);
    insert.bind("Whole", ParamType::SmallInt, 7);
    insert.bind("Txt", ParamType::Text, QString("Zoë ✓"));
    insert.bind("Bytes", ParamType::LongText, QByteArray("\x00\x01", 2));
    insert.bind("Real", ParamType::DateTime, WallClock::of(QDate(2024, 3, 31), QTime(1, 30, 0, 250)));
    EXPECT_EQ(insert.execute(), 1);
    EXPECT_EQ(stored(1), "integer/7|text/Zoë ✓|blob/0001|text");

    // The same statement again: empty texts stay empty, absent values and null texts bind NULL.
    insert.bind("Id", ParamType::Int, 2);
    insert.bind("Whole", ParamType::Int, QVariant());
    insert.bind("Txt", ParamType::Text, QString(""));
    insert.bind("Bytes", ParamType::LongText, QByteArray(""));
    insert.bind("Real", ParamType::Text, QVariant(QString()));
    EXPECT_EQ(insert.execute(), 1);
    EXPECT_EQ(stored(2), "null/|text/|blob/|null");

    DbStatement read(db, "select Real from Kinds where Id = :Id");
    read.bind("Id", ParamType::Int, 1);
    EXPECT_EQ(read.open().text(0, "Real"), "2024-03-31 01:30:00.250");
    EXPECT_EQ(nativeStatements(), 2); // those of `stored` ended with them
}

TEST_F(SqliteNativeStatementTest, StatementsAreFinalizedOnCloseAndPreparedAgainAfter)
{
    DbStatement insert(db, "insert into Kinds (Id) values (:Id)");
    DbStatement count(db, "select count(*) as n from Kinds where Id > :Above");
    count.bind("Above", ParamType::Int, 0);
    insert.bind("Id", ParamType::Int, 1);
    insert.execute();
    EXPECT_EQ(count.open().integer(0, "n"), 1);
    db.beginTransaction();
    db.commit();
    EXPECT_EQ(nativeStatements(), 4); // the two, BEGIN and COMMIT
    ASSERT_TRUE(QFileInfo::exists(file + "-wal"));

    // SQLite refuses to close a handle with statements left on it, and would keep the file open.
    db.close();
    EXPECT_EQ(db.nativeSession(), nullptr);
    EXPECT_FALSE(QFileInfo::exists(file + "-wal"));

    insert.bind("Id", ParamType::Int, 2); // reopens
    insert.execute();
    EXPECT_EQ(count.open().integer(0, "n"), 2);
    db.open();
    insert.bind("Id", ParamType::Int, 3);
    insert.execute();
    EXPECT_EQ(count.open().integer(0, "n"), 3);
    EXPECT_EQ(nativeStatements(), 2);

    // A connection ended before its statements.
    auto other = std::make_unique<DbConnection>(folder.path());
    other->open(sqliteConnectionString(file));
    DbStatement late(*other, "select count(*) as n from Kinds where Id > :Above");
    late.bind("Above", ParamType::Int, 2);
    EXPECT_EQ(late.open().integer(0, "n"), 1);
    other.reset();
    db.close();
    EXPECT_FALSE(QFileInfo::exists(file + "-wal"));
}

TEST_F(SqliteNativeStatementTest, FailuresCarryTheDriversTextsAndLeaveTheStatementUsable)
{
    db.execute("create unique index KindsId on Kinds (Id)");
    db.execute("insert into Kinds (Id) values (1)");
    DbStatement insert(db, "insert into Kinds (Id) values (:Id)");
    insert.bind("Id", ParamType::Int, 1);
    const QString duplicate = failureOf([&] { insert.execute(); });
    EXPECT_EQ(duplicate, qtFailure("insert into Kinds (Id) values (1)"));
    EXPECT_TRUE(db.dialect().isDuplicateKey(duplicate)) << duplicate.toStdString();
    insert.bind("Id", ParamType::Int, 2);
    EXPECT_EQ(insert.execute(), 1);

    // Locked by another connection's write: the waiting ends with the driver's words, as a lost
    // connection (closed, so that the next statement opens a new one).
    DbConnection writer(folder.path());
    writer.open(sqliteConnectionString(file));
    writer.beginTransaction();
    writer.execute("insert into Kinds (Id) values (10)");
    db.execute("PRAGMA busy_timeout = 50");
    const QString qtLocked = qtFailure("insert into Kinds (Id) values (3)");
    insert.bind("Id", ParamType::Int, 3);
    QString locked;
    try {
        insert.execute();
        ADD_FAILURE() << "no error";
    } catch (const DbError &e) {
        EXPECT_TRUE(e.isConnectionLost());
        locked = e.message();
    }
    EXPECT_EQ(locked, qtLocked);
    EXPECT_TRUE(locked.contains("locked")) << locked.toStdString();
    EXPECT_FALSE(db.isOpen());
    writer.commit();
    EXPECT_EQ(insert.execute(), 1);

    // Transactions say what the driver said, and a failed commit keeps its transaction open.
    const auto qtTransactionFailure = [&](bool done) {
        EXPECT_FALSE(done);
        return sqlErrorText(db.database().lastError());
    };
    db.beginTransaction();
    db.beginTransaction(); // a savepoint of the open transaction
    EXPECT_TRUE(db.inTransaction());
    db.rollback();
    db.rollback();
    EXPECT_FALSE(db.inTransaction());
    EXPECT_EQ(failureOf([&] { db.rollback(); }), qtTransactionFailure(db.database().rollback()));

    db.execute("PRAGMA foreign_keys = ON");
    db.execute("create table Child (Id integer references Kinds(Id) deferrable initially deferred)");
    db.beginTransaction();
    db.execute("insert into Child values (99)");
    const QString commit = failureOf([&] { db.commit(); });
    EXPECT_TRUE(db.inTransaction());
    EXPECT_EQ(commit, qtTransactionFailure(db.database().commit()));
    EXPECT_TRUE(commit.contains("FOREIGN KEY")) << commit.toStdString();
    db.rollback();
    EXPECT_FALSE(db.inTransaction());
}

} // namespace
