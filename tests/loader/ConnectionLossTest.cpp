#include "tests/loader/LoaderFixture.h"

#include "shared/DataLinkFile.h"

#include <QFile>

namespace {

const QString &Header = TrackingHeader;

// The loader connects through a data-link file, which every reconnect reads again: pointing it at
// a database that cannot be reached makes the server go away under a running pass.
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
        writeDataLinkFile(
            m_dataLink, backend() == Backend::PostgreSql
                            ? QStringLiteral("Provider=PostgreSQL;Data Source=%1;User ID=ovtrack")
                                  .arg(folder().filePath(QStringLiteral("no-server")))
                            : sqliteConnectionString(folder().filePath(QStringLiteral("gone/tracking.db"))));
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
    const QString bad = trackingLine(QStringLiteral("M2"), {{12, QStringLiteral("2008-13-40")}});
    const QString path =
        writeTrackingLines(QStringLiteral("a.qzd"), {Header, trackingLine(QStringLiteral("M1")), bad,
                                                     trackingLine(QStringLiteral("M3"))});
    // M3 is applied on the open connection; M2 fails, and no reconnect reaches the server.
    serverGoesAway();
    loader().doImport();
    EXPECT_EQ(rows(QStringLiteral("M3")), 1);
    EXPECT_FALSE(folder().exists(QStringLiteral("tracking/errors")));
    ASSERT_TRUE(trackingFileExists(QStringLiteral("a.qzd")));
    EXPECT_EQ(
        folder().readFile(QStringLiteral("tracking/a.qzd")),
        (QStringList{Header, trackingLine(QStringLiteral("M1")), bad}.join(QStringLiteral("\r\n")) + "\r\n")
            .toUtf8());
    EXPECT_TRUE(
        logText().contains(QStringLiteral("(1): Database connection lost at \"a.qzd\" line 2; it and the 2 "
                                          "lines before it are left for the next pass: ")));

    // Back again: the waiting line is applied once, the refused one goes to "errors/" alone.
    serverComesBack();
    QFile rewritten(path);
    ASSERT_TRUE(rewritten.open(QIODevice::ReadWrite));
    rewritten.setFileTime(QDateTime::currentDateTime().addSecs(-10), QFileDevice::FileModificationTime);
    rewritten.close();
    loader().doImport();
    EXPECT_FALSE(trackingFileExists(QStringLiteral("a.qzd")));
    EXPECT_EQ(rows(QStringLiteral("M1")), 1);
    EXPECT_EQ(rows(QStringLiteral("M3")), 1);
    EXPECT_EQ(errorsCopy(QStringLiteral("a.qzd")), bad.toUtf8() + "\r\n");
}

TEST_P(ConnectionLossTest, LineRefusedForItsDataStillGoesToErrors)
{
    const QString bad = trackingLine(QStringLiteral("M2"), {{12, QStringLiteral("2008-13-40")}});
    writeTrackingLines(QStringLiteral("b.qzd"), {Header, trackingLine(QStringLiteral("M1")), bad});
    loader().doImport();
    EXPECT_FALSE(trackingFileExists(QStringLiteral("b.qzd")));
    EXPECT_EQ(errorsCopy(QStringLiteral("b.qzd")), bad.toUtf8() + "\r\n");
    EXPECT_EQ(rows(QStringLiteral("M1")), 1);
    EXPECT_FALSE(logText().contains(QStringLiteral("connection lost")));
}

OVTRACK_ON_EVERY_BACKEND(ConnectionLossTest);

} // namespace
