#include "shared/text/WallClock.h"
#include "tests/loader/LoaderFixture.h"

namespace {

class RecordWritesTest : public LoaderTrackingFixture
{
protected:
    static TrackingRecord fullRecord(const QString &msgId)
    {
        TrackingRecord r;
        r.MsgID = msgId;
        r.Sender = QStringLiteral("lab@x");
        r.Filename = QStringLiteral("P1_A.HL7");
        r.QZServerReceiveTime = WallClock::of(QDate(2024, 3, 5), QTime(10, 15, 20));
        r.QZDeliveryTime = WallClock::of(QDate(2024, 3, 5), QTime(11, 0));
        r.PracID = QStringLiteral("P1@x");
        r.FileType = QStringLiteral("HL7");
        r.Patient = QStringLiteral("Smith");
        r.CollectTime = WallClock::of(QDate(2024, 3, 4), QTime(8, 0));
        r.RunNumber = QString(); // empty, not NULL
        return r;
    }

    int rowCount(const QString &msgId)
    {
        return query(QStringLiteral("select MsgID from Tracking where MsgID = '%1'").arg(msgId)).rowCount();
    }
};

TEST_P(RecordWritesTest, InsertStoresEveryValueAndCommits)
{
    ASSERT_TRUE(loader().InsertTrackingData(fullRecord(QStringLiteral("M1"))));
    const DbResult r = query(QStringLiteral("select * from Tracking where MsgID = 'M1'"));
    ASSERT_EQ(r.rowCount(), 1);
    EXPECT_EQ(r.text(0, QStringLiteral("QZServerReceiveTime")), QStringLiteral("2024-03-05 10:15:20.000"));
    EXPECT_EQ(r.text(0, QStringLiteral("QZDeliveryTime")), QStringLiteral("2024-03-05 11:00:00.000"));
    EXPECT_EQ(r.text(0, QStringLiteral("CollectTime")), QStringLiteral("2024-03-04 08:00:00"));
    EXPECT_FALSE(r.isNull(0, QStringLiteral("RunNumber")));
    EXPECT_TRUE(r.isNull(0, QStringLiteral("LabId")));
    EXPECT_FALSE(loader().adoConn1.inTransaction());
    const QString log = logText();
    EXPECT_TRUE(
        log.contains(QStringLiteral("(4): InsertTrackingData: ExecSQL: Result = True (rows inserted)")));
    EXPECT_TRUE(
        log.contains(QStringLiteral("(4): InsertTrackingData: CommitTrans for insert of tracking data")));
    EXPECT_TRUE(log.contains(QStringLiteral("(4): InsertTrackingData: End")));
}

TEST_P(RecordWritesTest, InsertOfAMessageIdAloneGivesNullsElsewhere)
{
    TrackingRecord r;
    r.MsgID = QStringLiteral("only-id");
    ASSERT_TRUE(loader().InsertTrackingData(r));
    const DbResult row = query(QStringLiteral("select * from Tracking where MsgID = 'only-id'"));
    for (const char *column : {"Sender", "QZServerReceiveTime", "QZDeliveryTime", "Patient", "RunNumber"})
        EXPECT_TRUE(row.isNull(0, QLatin1String(column))) << column;
}

TEST_P(RecordWritesTest, UpdateRewritesTheRowButKeepsDeliveryAndStatus)
{
    sql(QStringLiteral("INSERT INTO Tracking (MsgID, QZDeliveryTime, ReadStatus, Patient) VALUES "
                       "('M1', '2020-01-01 00:00:00.000', 3, 'Old')"));
    TrackingRecord r = fullRecord(QStringLiteral("M1"));
    r.Patient = QStringLiteral("New");
    ASSERT_TRUE(loader().UpdateTrackingData(r));
    const DbResult row = query(QStringLiteral("select * from Tracking where MsgID = 'M1'"));
    EXPECT_EQ(row.text(0, QStringLiteral("Patient")), QStringLiteral("New"));
    EXPECT_EQ(row.text(0, QStringLiteral("QZDeliveryTime")), QStringLiteral("2020-01-01 00:00:00.000"));
    EXPECT_EQ(row.text(0, QStringLiteral("ReadStatus")), QStringLiteral("3"));
}

TEST_P(RecordWritesTest, UpdateOfTwoRowsIsRolledBackWithStatementAndDump)
{
    sql(QStringLiteral("INSERT INTO Tracking (MsgID, Patient) VALUES ('M2', 'A'), ('M2', 'B')"));
    EXPECT_FALSE(loader().UpdateTrackingData(fullRecord(QStringLiteral("M2"))));
    EXPECT_EQ(query(QStringLiteral("select * from Tracking where MsgID = 'M2' and Patient in ('A', 'B')"))
                  .rowCount(),
              2);
    EXPECT_FALSE(loader().adoConn1.inTransaction());
    const QString log = logText();
    const qsizetype transaction =
        log.indexOf(QStringLiteral("(2): Transaction was Update Tracking \r\nset Sender=  :Sender,\r\n"));
    const qsizetype dump =
        log.indexOf(QStringLiteral("(2): Params were: MsgId=\"M2\"Sender=\"lab@x\"FileName=\"P1_A.HL7\""));
    const qsizetype rollback =
        log.indexOf(QStringLiteral("(4): UpdateTrackingData: RollbackTrans for insert of tracking data"));
    EXPECT_GE(transaction, 0);
    EXPECT_GT(dump, transaction);
    EXPECT_GT(rollback, dump);
    EXPECT_TRUE(log.contains(QStringLiteral("PatientDOB=\"\"DocsPTRef=\"\"")));
    EXPECT_TRUE(log.contains(QStringLiteral("RunNumber=\"\"\r\n")));
}

TEST_P(RecordWritesTest, UpdateOfAMissingRowFails)
{
    EXPECT_FALSE(loader().UpdateTrackingData(fullRecord(QStringLiteral("gone"))));
    EXPECT_EQ(rowCount(QStringLiteral("gone")), 0);
}

// Mended fault: a statement refused on a sound session was tried again on a new one, which
// changes nothing for a refused value and cost a reconnect. The second try now runs on the same
// session, in a transaction of its own.
TEST_P(RecordWritesTest, FirstExecutionRefusedOnASoundSessionIsTriedOnceMoreOnThatSession)
{
    // A failure bound to the loader's session: a temporary trigger, or on PostgreSQL a trigger that
    // fails while a session setting is on.
    if (backend() == Backend::PostgreSql) {
        sql(QStringLiteral("CREATE FUNCTION fail_once() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN IF "
                           "current_setting('ovtrack.fail', true) = 'yes' THEN RAISE EXCEPTION 'injected "
                           "failure'; END IF; RETURN NEW; END $$"));
        sql(QStringLiteral("CREATE TRIGGER fail_once BEFORE INSERT ON Tracking FOR EACH ROW EXECUTE FUNCTION "
                           "fail_once()"));
        loader().adoConn1.execute(QStringLiteral("SET ovtrack.fail = 'yes'"));
    } else {
        loader().adoConn1.execute(QStringLiteral(
            "CREATE TEMP TRIGGER fail_once BEFORE INSERT ON Tracking BEGIN SELECT RAISE(ABORT, "
            "'injected failure'); END"));
    }
    EXPECT_FALSE(loader().InsertTrackingData(fullRecord(QStringLiteral("M3"))));
    EXPECT_EQ(rowCount(QStringLiteral("M3")), 0);
    EXPECT_FALSE(loader().adoConn1.inTransaction());
    const QString log = logText();
    const qsizetype error =
        log.indexOf(QStringLiteral("(2): InsertTrackingData: Error occured in ExecSQL: "));
    const qsizetype retry = log.indexOf(QStringLiteral("(2): InsertTrackingData: ExecSQL for 2nd try: "));
    EXPECT_GE(error, 0);
    EXPECT_TRUE(log.mid(error, 200).contains(QStringLiteral("injected failure")));
    EXPECT_GT(retry, error);
    EXPECT_EQ(log.count(QStringLiteral("ExecSQL for 2nd try")), 1);
    EXPECT_FALSE(log.contains(QStringLiteral("disconnect & reconnect")));
    // Still the session that carries the failure.
    EXPECT_FALSE(loader().InsertTrackingData(fullRecord(QStringLiteral("M4"))));
}

TEST_P(RecordWritesTest, FirstExecutionCutByAnEndedSessionIsTriedAgainAfterAReconnect)
{
    if (backend() != Backend::PostgreSql)
        GTEST_SKIP() << "nothing ends a SQLite session from inside the database";
    // The server ends the session in the middle of the insert, as an administrator or a failover
    // does; only the loader's first session has the setting.
    sql(QStringLiteral("CREATE FUNCTION end_session() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN IF "
                       "current_setting('ovtrack.cut', true) = 'yes' THEN PERFORM "
                       "pg_terminate_backend(pg_backend_pid()); PERFORM pg_sleep(5); END IF; RETURN NEW; END $$"));
    sql(QStringLiteral("CREATE TRIGGER end_session BEFORE INSERT ON Tracking FOR EACH ROW EXECUTE FUNCTION "
                       "end_session()"));
    loader().adoConn1.execute(QStringLiteral("SET ovtrack.cut = 'yes'"));
    ASSERT_TRUE(loader().InsertTrackingData(fullRecord(QStringLiteral("M3"))));
    EXPECT_EQ(rowCount(QStringLiteral("M3")), 1);
    EXPECT_FALSE(loader().adoConn1.inTransaction());
    const QString log = logText();
    const qsizetype error =
        log.indexOf(QStringLiteral("(2): InsertTrackingData: Error occured in ExecSQL: "));
    const qsizetype reconnect =
        log.indexOf(QStringLiteral("(2): InsertTrackingData: disconnect & reconnect"));
    const qsizetype retry = log.indexOf(QStringLiteral("(2): InsertTrackingData: ExecSQL for 2nd try: "));
    const qsizetype result = log.indexOf(QStringLiteral("(4): InsertTrackingData: ExecSQL: Result = True"));
    EXPECT_GE(error, 0);
    EXPECT_GT(reconnect, error);
    EXPECT_GT(retry, reconnect);
    EXPECT_GT(result, retry);
}

// Mended fault: a database error of the second try used to leave the transaction open and could
// report success for a row that was never committed.
TEST_P(RecordWritesTest, DatabaseErrorOnBothTriesRollsBackAndReportsFalse)
{
    TrackingRecord r = fullRecord(QStringLiteral("M4"));
    r.Patient = QString(300, u'x'); // wider than the column
    EXPECT_FALSE(loader().InsertTrackingData(r));
    EXPECT_FALSE(loader().adoConn1.inTransaction());
    EXPECT_EQ(rowCount(QStringLiteral("M4")), 0);
    EXPECT_TRUE(logText().contains(
        QStringLiteral("(2): InsertTrackingData: Unknown exception occurred inserting data: ")));
    // The connection is usable at once: the next write is in a transaction of its own.
    EXPECT_TRUE(loader().InsertTrackingData(fullRecord(QStringLiteral("M5"))));
    EXPECT_EQ(rowCount(QStringLiteral("M5")), 1);
}

TEST_P(RecordWritesTest, AnUnreadableDateIsRefusedAndRolledBack)
{
    TrackingRecord r = fullRecord(QStringLiteral("M6"));
    r.PatientDOB = DateField::unreadable();
    EXPECT_FALSE(loader().InsertTrackingData(r));
    EXPECT_EQ(rowCount(QStringLiteral("M6")), 0);
    EXPECT_FALSE(loader().adoConn1.inTransaction());
    const QString log = logText();
    EXPECT_TRUE(log.contains(
        QStringLiteral("(2): InsertTrackingData: EDatabaseError exception occurred inserting data: ")));
    EXPECT_TRUE(loader().InsertTrackingData(fullRecord(QStringLiteral("M7"))));
}

TEST_P(RecordWritesTest, ConnectionClosedBeforeTheWriteIsReopened)
{
    loader().adoConn1.close();
    EXPECT_TRUE(loader().InsertTrackingData(fullRecord(QStringLiteral("M8"))));
    EXPECT_TRUE(logText().contains(
        QStringLiteral("(2): InsertTrackingData: Database NOT connected, attempting to reconnect")));
}

TEST_P(RecordWritesTest, LevelTwoShowsOnlyTheErrorLines)
{
    loader().LoggingLevel = 2;
    sql(QStringLiteral("INSERT INTO Tracking (MsgID) VALUES ('M9'), ('M9')"));
    EXPECT_FALSE(loader().UpdateTrackingData(fullRecord(QStringLiteral("M9"))));
    const QString log = logText();
    EXPECT_FALSE(log.contains(QStringLiteral("(4): ")));
    EXPECT_TRUE(log.contains(QStringLiteral("(2): Transaction was ")));
}

OVTRACK_ON_EVERY_BACKEND(RecordWritesTest);

} // namespace
