#include "shared/tracking/DbConnection.h"
#include "shared/db/DbError.h"
#include "shared/tracking/DbStatement.h"
#include "shared/text/WallClock.h"

#include "tests/support/FailureKind.h"
#include "tests/support/TestDatabase.h"
#include "tests/support/TestFolder.h"

#include <QFileInfo>
#include <QThread>

#include <gtest/gtest.h>

namespace {

class StatementTest : public BackendTest
{
protected:
    void SetUp() override
    {
        BackendTest::SetUp();
        if (IsSkipped())
            return;
        database = std::make_unique<TestDatabase>(backend(), folder.path(), "t.db");
        db.open(database->connectionString());
        db.execute(db.dialect().createTrackingSql());
        db.execute(db.dialect().createContentSql());
    }

    TestFolder folder;
    std::unique_ptr<TestDatabase> database;
    DbConnection db{folder.path()};
};

TEST_P(StatementTest, ParametersAreNamedOutsideQuotes)
{
    DbStatement s(
        db, "update Tracking set Sender= :QSender, Test = 'at 10:15 [x]' where MsgId = :QMsgId\r\n"
            "and (FileName =:QFilename or Filename is Null) and Sender <> :qsender and [a:b] = \":no\"");
    EXPECT_EQ(s.parameterNames(), (QStringList{"QSender", "QMsgId", "QFilename"}));
}

TEST_P(StatementTest, BindsByNameWithoutCaseAndNullForAbsent)
{
    DbStatement insert(db, "INSERT INTO Tracking (MsgID, Sender, ReadStatus, StatusTime) "
                           "VALUES (:MsgID, :Sender, :ReadStatus, :StatusTime)");
    insert.bind("msgid", ::ParamType::Text, "m1");
    insert.bind(":SENDER", ::ParamType::Text, QString(""));
    insert.bind("ReadStatus", ::ParamType::SmallInt, QVariant());
    insert.bind("StatusTime", ::ParamType::DateTime, QVariant());
    EXPECT_EQ(insert.execute(), 1);

    DbStatement read(db, "select * from Tracking where MsgID = :QMsgId");
    read.bind("QMsgID", ::ParamType::Text, "m1");
    const DbResult r = read.open();
    ASSERT_EQ(r.rowCount(), 1);
    EXPECT_FALSE(r.isNull(0, "Sender")); // an empty text is not NULL
    EXPECT_EQ(r.text(0, "sender"), "");
    EXPECT_TRUE(r.isNull(0, "ReadStatus"));
    EXPECT_TRUE(r.isNull(0, "StatusTime"));
    EXPECT_FALSE(r.dateTime(0, "StatusTime").has_value());
    EXPECT_FALSE(r.integer(0, "ReadStatus").has_value());
}

TEST_P(StatementTest, LayerErrorsAreToldFromDatabaseErrors)
{
    DbStatement missing(db, "select * from Tracking where MsgID = :QMsgId");
    EXPECT_EQ(failureKind([&] { missing.open(); }), DbError::Kind::AccessLayer);
    missing.bind("QMsgId", ::ParamType::Text, "x");
    const DbResult r = missing.open();
    EXPECT_EQ(failureKind([&] { (void)r.value(0, "MsgID"); }), DbError::Kind::AccessLayer);
    DbStatement badInt(db, "select MsgID from Tracking where ReadStatus = :n");
    badInt.bind("n", ::ParamType::Int, "twelve");
    EXPECT_EQ(failureKind([&] { badInt.open(); }), DbError::Kind::AccessLayer);
    DbStatement broken(db, "select * from NoSuchTable");
    EXPECT_EQ(failureKind([&] { broken.open(); }), DbError::Kind::Other);
}

// A session that is gone, or a database file another writer holds, says nothing about the
// statement: the error is of its own kind, and the connection is closed so that the next statement
// opens a new one.
TEST_P(StatementTest, EndedSessionOrBusyDatabaseIsALostConnection)
{
    DbConnection other(folder.path());
    other.open(database->connectionString());
    if (backend() == Backend::PostgreSql) {
        const qint64 pid = *DbStatement(db, "select pg_backend_pid() as n").open().integer(0, "n");
        other.execute(QStringLiteral("select pg_terminate_backend(%1)").arg(pid));
        const QString gone = QStringLiteral("select count(*) as n from pg_stat_activity where pid = %1").arg(pid);
        for (int wait = 0; wait < 500 && *DbStatement(other, gone).open().integer(0, "n") > 0; ++wait)
            QThread::msleep(10);
        // A server that is not there is one that may come.
        DbConnection nowhere(folder.path());
        EXPECT_EQ(failureKind([&] { nowhere.open("Provider=PostgreSQL;Data Source=" + folder.filePath("none") +
                                            ";User ID=ovtrack"); }),
                  DbError::Kind::ConnectionLost);
    } else {
        db.execute("PRAGMA busy_timeout = 0"); // no waiting for the other writer
        other.beginTransaction();
        other.execute("insert into Tracking (MsgID) values ('held')");
    }
    EXPECT_EQ(failureKind([&] { db.execute("insert into Tracking (MsgID) values ('m1')"); }),
              DbError::Kind::ConnectionLost);
    EXPECT_FALSE(db.isOpen());
    EXPECT_EQ(db.sessionsLost(), 1);
    EXPECT_FALSE(db.lostSessionReason().isEmpty());
    if (other.inTransaction())
        other.rollback();
    EXPECT_EQ(db.execute("insert into Tracking (MsgID) values ('m2')"), 1);
    EXPECT_EQ(db.sessionsLost(), 1);
}

TEST_P(StatementTest, CopiedBindingsAndReopenAfterClose)
{
    DbStatement source(db, "select count(MsgID) as TRACKCOUNT from Tracking where " +
                               db.dialect().likeCondition("Patient", "Qpatient"));
    source.bind("Qpatient", ::ParamType::Text, "SM%");
    db.execute(
        "INSERT INTO Tracking (MsgID, Patient) VALUES ('a', 'Smith'), ('b', 'smythe'), ('c', 'Jones')");
    DbStatement copy(db, source.text());
    copy.copyBindingsFrom(source);
    db.close();
    EXPECT_FALSE(db.isOpen());
    EXPECT_EQ(copy.open().integer(0, "TRACKCOUNT"), 2); // reopened with the last connection string
    EXPECT_TRUE(db.isOpen());
}

TEST_P(StatementTest, TransactionRollsBack)
{
    db.beginTransaction();
    EXPECT_TRUE(db.inTransaction());
    db.execute("INSERT INTO Tracking (MsgID) VALUES ('gone')");
    db.rollback();
    EXPECT_FALSE(db.inTransaction());
    DbStatement count(db, "select count(*) as n from Tracking");
    EXPECT_EQ(count.open().integer(0, "n"), 0);
}

TEST_P(StatementTest, LongTextKeepsEveryByte)
{
    QByteArray bytes;
    for (int b = 0; b < 256; ++b)
        bytes.append(static_cast<char>(b));
    DbStatement insert(db, "insert into HM_CONTENT  (Msgid, HMdata)\r\nvalues (:QMsgId, :QData)");
    insert.bind("QMsgId", ::ParamType::Text, "bin");
    insert.bind("QData", ::ParamType::LongText, bytes);
    EXPECT_EQ(insert.execute(), 1);
    DbStatement read(db, "select HMData from HM_CONTENT where MsgID = 'bin'");
    EXPECT_EQ(read.open().value(0, "HMData").toByteArray(), bytes);
}

TEST(ConnectionOpenTest, MissingFolderFailsNamingTheFile)
{
    TestFolder folder;
    DbConnection db(folder.path());
    try {
        db.open(sqliteConnectionString(folder.filePath("no/such/folder/t.db")));
        FAIL() << "opened";
    } catch (const DbError &e) {
        EXPECT_EQ(e.kind(), DbError::Kind::Other);
        EXPECT_TRUE(e.message().contains("no/such/folder/t.db")) << e.message().toStdString();
    }
    EXPECT_FALSE(db.isOpen());
    EXPECT_EQ(db.connectionString(), sqliteConnectionString(folder.filePath("no/such/folder/t.db")));
}

} // namespace

namespace {

TEST_P(StatementTest, ReusedStatementSurvivesReconnect)
{
    DbStatement insert(db, "INSERT INTO Tracking (MsgID) VALUES (:MsgID)");
    insert.bind("MsgID", ::ParamType::Text, "a");
    EXPECT_EQ(insert.execute(), 1);
    db.close();
    db.open();
    insert.bind("MsgID", ::ParamType::Text, "b");
    EXPECT_EQ(insert.execute(), 1);
    DbStatement count(db, "select count(*) as n from Tracking");
    EXPECT_EQ(count.open().integer(0, "n"), 2);
    insert.bind("MsgID", ::ParamType::Text, "c");
    EXPECT_EQ(insert.execute(), 1);
    EXPECT_EQ(count.open().integer(0, "n"), 3);
}

TEST_P(StatementTest, FailedCommitStillReportsTheOpenTransaction)
{
    if (backend() == Backend::Sqlite)
        db.execute("PRAGMA foreign_keys = ON");
    db.execute("CREATE TABLE parent (id integer primary key)");
    db.execute("CREATE TABLE child (pid integer references parent(id) deferrable initially deferred)");
    db.beginTransaction();
    db.execute("INSERT INTO child (pid) VALUES (42)");
    EXPECT_THROW(db.commit(), DbError);
    EXPECT_TRUE(db.inTransaction());
    db.rollback();
    EXPECT_FALSE(db.inTransaction());
}

// Mended fault: date-times were held as local values, so one inside a daylight-saving gap became
// invalid ("is not a date and time") and values in the repeated hour could move. They are bound,
// compared and read back as written under every TZ this executable runs in.
TEST_P(StatementTest, WallClockTimesInAGapOrTheRepeatedHourKeepTheirValue)
{
    const QDateTime gap = WallClock::of(QDate(2024, 3, 31), QTime(1, 30));          // Europe/London
    const QDateTime midnightGap = WallClock::of(QDate(2017, 10, 15), QTime(0, 30)); // America/Sao_Paulo
    const QDateTime repeated = WallClock::of(QDate(2024, 10, 27), QTime(1, 30, 0, 250));
    const QDateTime local(QDate(2024, 10, 27), QTime(1, 10)); // a caller's local value keeps its wall time
    DbStatement insert(db, "insert into Tracking (MsgID, QZServerReceiveTime) values (:Id, :At)");
    int n = 0;
    for (const QDateTime &value : {gap, midnightGap, repeated, local}) {
        insert.bind("Id", ::ParamType::Text, QStringLiteral("W%1").arg(++n));
        insert.bind("At", ::ParamType::DateTime, value);
        insert.execute();
    }
    insert.bind("Id", ::ParamType::Text, QStringLiteral("W5"));
    insert.bind("At", ::ParamType::DateTime, QDate(2017, 10, 15));
    insert.execute();

    DbStatement select(db,
                       "select MsgID, QZServerReceiveTime from Tracking where QZServerReceiveTime >= :From "
                       "order by QZServerReceiveTime");
    select.bind("From", ::ParamType::DateTime, WallClock::of(QDate(2017, 10, 15)));
    const DbResult rows = select.open();
    ASSERT_EQ(rows.rowCount(), 5);
    EXPECT_EQ(rows.text(0, "QZServerReceiveTime"), "2017-10-15 00:00:00.000");
    EXPECT_EQ(rows.text(1, "QZServerReceiveTime"), "2017-10-15 00:30:00.000");
    EXPECT_EQ(rows.text(2, "QZServerReceiveTime"), "2024-03-31 01:30:00.000");
    EXPECT_EQ(rows.text(3, "QZServerReceiveTime"), "2024-10-27 01:10:00.000");
    EXPECT_EQ(rows.text(4, "QZServerReceiveTime"), "2024-10-27 01:30:00.250");
    EXPECT_EQ(rows.dateTime(1, "QZServerReceiveTime"), midnightGap);
    EXPECT_EQ(rows.dateTime(2, "QZServerReceiveTime"), gap);
    EXPECT_EQ(rows.dateTime(4, "QZServerReceiveTime"), repeated);
    EXPECT_EQ(rows.dateTime(2, "QZServerReceiveTime")->time(), QTime(1, 30));
    // Other stored forms read back the same way.
    for (const char *text : {"2024-03-31 01:30:00", "2024-03-31T01:30:00", "2024-03-31 01:30"})
        EXPECT_EQ(db.dialect().dateTimeValue(QString::fromLatin1(text)), gap) << text;
    EXPECT_EQ(db.dialect().dateTimeValue(QStringLiteral("2017-10-15")), WallClock::of(QDate(2017, 10, 15)));
}

// Mended fault: opening a SQLite file that does not exist created it, empty, and the programs then
// failed far from the cause on "no such table". Only openCreating (Create blank, the set-up) may.
TEST(ConnectionOpenTest, MissingDatabaseFileIsAFailureNamingItAndIsNotCreated)
{
    TestFolder folder;
    const QString file = folder.filePath("missing.db");
    DbConnection db(folder.path());
    try {
        db.open(sqliteConnectionString(file));
        FAIL() << "opened";
    } catch (const DbError &e) {
        EXPECT_EQ(e.kind(), DbError::Kind::Other);
        EXPECT_EQ(e.message(), missingDatabaseText(file));
        EXPECT_TRUE(e.message().contains(file)) << e.message().toStdString();
        EXPECT_TRUE(e.message().contains("Create blank")) << e.message().toStdString();
        // Commands the packages ship, not one of the source tree.
        EXPECT_TRUE(e.message().contains("OVTrackSvc /CREATEDB")) << e.message().toStdString();
        EXPECT_FALSE(e.message().contains("prepare-run")) << e.message().toStdString();
    }
    EXPECT_FALSE(db.isOpen());
    EXPECT_TRUE(db.databaseFileMissing());
    EXPECT_FALSE(QFileInfo::exists(file));
    EXPECT_THROW(db.ensureOpen(), DbError);
    EXPECT_FALSE(QFileInfo::exists(file));

    db.openCreating(sqliteConnectionString(file));
    EXPECT_TRUE(db.isOpen());
    EXPECT_TRUE(QFileInfo::exists(file));
    EXPECT_FALSE(db.databaseFileMissing());
    db.close();
    db.open(sqliteConnectionString(file)); // an existing file opens as before
    EXPECT_TRUE(db.isOpen());
}

// Mended fault: after a connection string that could not be used, later uses said "No connection
// string has been given"; they carry the connection's own error.
TEST(ConnectionOpenTest, UnusableConnectionStringIsReportedAsItselfLater)
{
    TestFolder folder;
    DbConnection db(folder.path());
    QString openError;
    try {
        db.open("Provider=Gone;Data Source=x");
    } catch (const DbError &e) {
        openError = e.message();
    }
    ASSERT_TRUE(openError.contains("Gone")) << openError.toStdString();
    try {
        db.dialect();
        FAIL() << "a dialect without a connection";
    } catch (const DbError &e) {
        EXPECT_EQ(e.message(), openError);
    }
    EXPECT_FALSE(db.databaseFileMissing());
}
OVTRACK_ON_EVERY_BACKEND(StatementTest);

} // namespace
