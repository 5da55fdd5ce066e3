#include "tests/loader/LoaderFixture.h"

#include "shared/config/DataLinkFile.h"

#include <QFile>

namespace {

const QString &Header = TrackingHeader;

// The loader connects through a data-link file, which every reconnect reads again: pointing it at
// a database that cannot be reached keeps the server away once the session has ended.
class ConnectionLossTest : public LoaderTrackingFixture
{
protected:
    void SetUp() override
    {
        LoaderTrackingFixture::SetUp();
        if (IsSkipped())
            return;
        m_dataLink = folder().filePath(QStringLiteral("qztrack.udl"));
        writeDataLinkFile(m_dataLink, connectionString());
        loader().adoConn1.open(QStringLiteral("File name=") + m_dataLink);
    }

    void serverGoesAway()
    {
        writeDataLinkFile(m_dataLink, QStringLiteral("Provider=PostgreSQL;Data Source=%1;User ID=ovtrack")
                                          .arg(folder().filePath(QStringLiteral("no-server"))));
    }
    void serverComesBack() { writeDataLinkFile(m_dataLink, connectionString()); }

    int rows(const QString &msgId)
    {
        return query(QStringLiteral("select MsgID from Tracking where MsgID = '%1'").arg(msgId)).rowCount();
    }

    QString m_dataLink;
};

TEST_P(ConnectionLossTest, LinesOfALostConnectionWaitForTheNextPassNotInErrors)
{
    if (backend() != Backend::PostgreSql)
        GTEST_SKIP() << "nothing ends a SQLite session from inside the database";
    // The server ends the session in the middle of M2's insert, and no reconnect reaches it.
    sql(QStringLiteral("CREATE FUNCTION end_session() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN IF "
                       "NEW.MsgID = 'M2' THEN PERFORM pg_terminate_backend(pg_backend_pid()); PERFORM "
                       "pg_sleep(5); END IF; RETURN NEW; END $$"));
    sql(QStringLiteral("CREATE TRIGGER end_session BEFORE INSERT ON Tracking FOR EACH ROW EXECUTE FUNCTION "
                       "end_session()"));
    const QString m2 = trackingLine(QStringLiteral("M2"));
    const QString path = writeTrackingLines(
        QStringLiteral("a.qzd"), {Header, trackingLine(QStringLiteral("M1")), m2, trackingLine(QStringLiteral("M3"))});
    serverGoesAway();
    loader().doImport();
    EXPECT_EQ(rows(QStringLiteral("M3")), 1);
    EXPECT_FALSE(folder().exists(QStringLiteral("tracking/errors")));
    ASSERT_TRUE(trackingFileExists(QStringLiteral("a.qzd")));
    EXPECT_EQ(
        folder().readFile(QStringLiteral("tracking/a.qzd")),
        (QStringList{Header, trackingLine(QStringLiteral("M1")), m2}.join(QStringLiteral("\r\n")) + "\r\n")
            .toUtf8());
    const QString log = logText();
    EXPECT_TRUE(log.contains(QStringLiteral("(1): Database connection lost at \"a.qzd\" line 2; it and the 2 "
                                            "lines before it are left for the next pass: ")));
    EXPECT_EQ(log.count(QStringLiteral("(3): Database Connection Lost. Waiting 100 Seconds.")), 1);

    // Back again: the waiting lines are applied once.
    sql(QStringLiteral("DROP TRIGGER end_session ON Tracking"));
    serverComesBack();
    QFile rewritten(path);
    ASSERT_TRUE(rewritten.open(QIODevice::ReadWrite));
    rewritten.setFileTime(QDateTime::currentDateTime().addSecs(-10), QFileDevice::FileModificationTime);
    rewritten.close();
    loader().doImport();
    EXPECT_FALSE(trackingFileExists(QStringLiteral("a.qzd")));
    for (const char *id : {"M1", "M2", "M3"})
        EXPECT_EQ(rows(QLatin1String(id)), 1) << id;
    EXPECT_FALSE(folder().exists(QStringLiteral("tracking/errors")));
}

// Mended fault: a line refused for its data went through three nested retries, each with a
// reconnect: eight executions and as many new sessions. It now has the write's one second try on
// the same session, then goes to "errors/".
TEST_P(ConnectionLossTest, LineRefusedForItsDataGoesToErrorsAfterOneRetryWithoutAReconnect)
{
    QStringList bad = {trackingLine(QStringLiteral("M2"), {{10, QString(300, u'x')}})};
    if (backend() == Backend::PostgreSql) // no PostgreSQL text can hold a NUL character
        bad << trackingLine(QStringLiteral("M4"), {{10, QStringLiteral("Sm") + QChar(0) + QStringLiteral("ith")}});
    writeTrackingLines(QStringLiteral("b.qzd"), QStringList{Header, trackingLine(QStringLiteral("M1"))} + bad);
    // A temporary table lives exactly as long as the session.
    loader().adoConn1.execute(QStringLiteral("create temporary table session_mark (x int)"));
    loader().doImport();
    EXPECT_FALSE(trackingFileExists(QStringLiteral("b.qzd")));
    EXPECT_EQ(errorsCopy(QStringLiteral("b.qzd")), (bad.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")).toUtf8());
    EXPECT_EQ(rows(QStringLiteral("M1")), 1);
    const QString log = logText();
    EXPECT_FALSE(log.contains(QStringLiteral("connection lost"), Qt::CaseInsensitive));
    EXPECT_FALSE(log.contains(QStringLiteral("disconnect & reconnect")));
    // One write per line, and one second try per refused line.
    EXPECT_EQ(log.count(QStringLiteral("(4): InsertTrackingData: BeginTrans")), 1 + bad.size());
    EXPECT_EQ(log.count(QStringLiteral("(2): InsertTrackingData: ExecSQL for 2nd try: ")), bad.size());
    EXPECT_NO_THROW(loader().adoConn1.execute(QStringLiteral("select x from session_mark"))) << "a new session";
}

OVTRACK_ON_EVERY_BACKEND(ConnectionLossTest);

} // namespace
