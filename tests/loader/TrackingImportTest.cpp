#include "tests/loader/LoaderFixture.h"

#include "loader/TrackingLine.h"
#include "shared/text/WallClock.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool setImmutable(const QString &path, bool on)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
    if (fd < 0)
        return false;
    int flags = 0;
    bool done = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (done) {
        flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
        done = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ::close(fd);
    return done;
}

const QString &Header = TrackingHeader;

class TrackingImportTest : public LoaderTrackingFixture
{
protected:
    void SetUp() override
    {
        LoaderTrackingFixture::SetUp();
        if (IsSkipped())
            return;
        loader().ShortDateFormat = QStringLiteral("d/MM/yyyy");
    }

    DbResult row(const QString &msgId)
    {
        return query(QStringLiteral("select * from Tracking where MsgID = '%1'")
                         .arg(QString(msgId).replace(u'\'', QStringLiteral("''"))));
    }

    QString value(const QString &msgId, const QString &column)
    {
        const DbResult r = row(msgId);
        if (r.rowCount() != 1)
            return QStringLiteral("rows: %1").arg(r.rowCount());
        return r.isNull(0, column) ? QStringLiteral("NULL") : r.text(0, column);
    }

    int rowCount() { return query(QStringLiteral("select MsgID from Tracking")).rowCount(); }
};

TEST(TrackingLineFields, CountsFieldsAndTakesTheLastAsMessageId)
{
    const TrackingLine line(QStringLiteral("a,b,,d,"));
    EXPECT_EQ(line.fieldCount(), 5);
    EXPECT_EQ(line.field(1), QStringLiteral("a"));
    EXPECT_EQ(line.field(3), QString());
    EXPECT_EQ(line.field(9), QString());
    EXPECT_EQ(line.messageId(), QString());
    EXPECT_TRUE(TrackingLine(QStringLiteral("SENDER,x")).isHeader());
    EXPECT_TRUE(TrackingLine(QStringLiteral("no comma")).isSkipped());
    EXPECT_TRUE(TrackingLine(QString()).isSkipped());
    EXPECT_FALSE(TrackingLine(QStringLiteral("senders,x")).isHeader());
}

TEST(TrackingLineDecisions, PracticeSenderStatusAndClassification)
{
    ExistingTrackingRow none;
    const QDateTime now = WallClock::of(QDate(2024, 5, 1), QTime(12, 0));
    const QString format = QStringLiteral("d/MM/yyyy");

    // Practice from the file name, joined to the sender's domain.
    TrackingLineDecision d = decideTrackingLine(
        TrackingLine(
            trackingLine(QStringLiteral("M"),
                         {{1, QStringLiteral("lab@path.example")}, {2, QStringLiteral("prac9_a.hl7")}}, 17)),
        none, -1, format, now);
    EXPECT_EQ(d.record.PracID.value_or(QStringLiteral("absent")), QStringLiteral("prac9@path.example"));
    EXPECT_EQ(d.record.Filename.value_or(QString()), QStringLiteral("PRAC9_A.HL7"));
    EXPECT_FALSE(d.record.RunNumber);
    EXPECT_EQ(d.statusCode, -1);
    EXPECT_FALSE(d.isNotification);

    // A stored sender with an at sign wins over one without.
    ExistingTrackingRow stored;
    stored.Found = true;
    stored.Sender = QStringLiteral("real@lab");
    stored.PracID = QStringLiteral("P7");
    stored.QZServerReceiveTime = WallClock::of(QDate(2024, 4, 1), QTime(8, 0));
    stored.ReadStatus = 2;
    d = decideTrackingLine(
        TrackingLine(trackingLine(QStringLiteral("M"),
                                  {{1, QStringLiteral("plain")}, {4, QStringLiteral("2024-04-02 10:00:00")}},
                                  17)),
        stored, 2, format, now);
    EXPECT_EQ(d.record.Sender.value_or(QString()), QStringLiteral("real@lab"));
    EXPECT_EQ(d.record.PracID.value_or(QString()), QStringLiteral("P7@lab"));
    EXPECT_EQ(d.statusCode, 2);
    EXPECT_EQ(d.statusTime, now);
    EXPECT_TRUE(d.isNotification);

    // Status 99 takes the stored receive time and the decryption-failure date.
    d = decideTrackingLine(TrackingLine(trackingLine(QStringLiteral("M"), {{19, QStringLiteral("99")}})),
                           stored, 2, format, now);
    EXPECT_EQ(d.statusTime, stored.QZServerReceiveTime);
    EXPECT_EQ(d.record.QZDeliveryTime.dateTime(), WallClock::of(QDate(1905, 7, 6), QTime(0, 0)));
    EXPECT_TRUE(d.isNotification);

    // Nineteen fields: the message id is the status code too.
    d = decideTrackingLine(TrackingLine(trackingLine(QStringLiteral("7"), {}, 19)), none, -1, format, now);
    EXPECT_EQ(d.statusCode, 7);
    EXPECT_TRUE(d.isNotification);
}

TEST_P(TrackingImportTest, HeaderOnlyFileIsDeletedWithoutACopy)
{
    writeTrackingLines(QStringLiteral("a.qzd"), {Header});
    loader().doImport();
    EXPECT_FALSE(trackingFileExists(QStringLiteral("a.qzd")));
    EXPECT_FALSE(folder().exists(QStringLiteral("tracking/errors")));
    EXPECT_EQ(m_sleeps, std::vector<int>{100});
}

TEST_P(TrackingImportTest, FilePauseFollowsEachImportedFileOnly)
{
    loader().FilePause = 250;
    writeTrackingLines(QStringLiteral("p1.qzd"), {trackingLine(QStringLiteral("P1"))});
    writeTrackingLines(QStringLiteral("p2.qzd"), {trackingLine(QStringLiteral("P2"))});
    writeTrackingLines(QStringLiteral("p3.qzdata"), {trackingLine(QStringLiteral("P3"))});
    loader().doImport();
    EXPECT_EQ(m_sleeps, (std::vector<int>{250, 250}));

    // No pause at all: a backlog drains at the database's pace.
    m_sleeps.clear();
    loader().FilePause = 0;
    writeTrackingLines(QStringLiteral("p4.qzd"), {trackingLine(QStringLiteral("P4"))});
    writeTrackingLines(QStringLiteral("p5.qzd"), {trackingLine(QStringLiteral("P5"))});
    loader().doImport();
    EXPECT_TRUE(m_sleeps.empty());
    EXPECT_FALSE(trackingFileExists(QStringLiteral("p5.qzd")));
    EXPECT_EQ(rowCount(), 4);
}

TEST_P(TrackingImportTest, MessageIdsWithQuotesAndMetacharactersAreLookedUpByValue)
{
    const QStringList ids = {QStringLiteral("O'Brien"), QStringLiteral("x' or '1'='1"),
                             QStringLiteral("50%_off\\"), QStringLiteral(":MsgID"), QStringLiteral("a;b--c")};
    // A row whose delivery is earlier than any other: a lookup that matched more than its own id would
    // hand its time to the others.
    sql(QStringLiteral("INSERT INTO Tracking (MsgID, Sender, QZDeliveryTime) VALUES "
                       "('other', 'lab', '2001-01-01 00:00:00.000')"));
    QStringList lines;
    for (const QString &id : ids)
        lines << trackingLine(id, {{10, QStringLiteral("New#") + id}});
    writeTrackingLines(QStringLiteral("q1.qzd"), lines);
    loader().doImport();
    EXPECT_EQ(rowCount(), 1 + ids.size());

    // A receipt for each, then a full line that finds its row and keeps its own earliest delivery.
    lines.clear();
    for (qsizetype i = 0; i < ids.size(); ++i)
        lines << trackingLine(ids.at(i), {{4, QStringLiteral("2024-03-0%1 09:30:00").arg(i + 1)}});
    writeTrackingLines(QStringLiteral("q2.qzd"), lines);
    loader().doImport();
    lines.clear();
    for (const QString &id : ids)
        lines << trackingLine(id, {{10, QStringLiteral("Again#") + id}});
    writeTrackingLines(QStringLiteral("q3.qzd"), lines);
    loader().doImport();

    EXPECT_EQ(rowCount(), 1 + ids.size());
    for (qsizetype i = 0; i < ids.size(); ++i) {
        EXPECT_EQ(value(ids.at(i), QStringLiteral("Patient")), QStringLiteral("Again"))
            << ids.at(i).toStdString();
        EXPECT_EQ(value(ids.at(i), QStringLiteral("QZDeliveryTime")),
                  QStringLiteral("2024-03-0%1 09:30:00.000").arg(i + 1))
            << ids.at(i).toStdString();
    }
    EXPECT_EQ(value(QStringLiteral("other"), QStringLiteral("Patient")), QStringLiteral("NULL"));
    EXPECT_FALSE(folder().exists(QStringLiteral("tracking/errors")));
}

TEST_P(TrackingImportTest, FailedMiddleLineIsCopiedAloneToTheErrorsFolder)
{
    const QString bad = trackingLine(QStringLiteral("M2"), {{12, QStringLiteral("2008-13-40")}});
    writeTrackingLines(QStringLiteral("b.qzd"),
                       {Header, trackingLine(QStringLiteral("M1")), bad, trackingLine(QStringLiteral("M3"))});
    loader().doImport();
    EXPECT_FALSE(trackingFileExists(QStringLiteral("b.qzd")));
    EXPECT_EQ(errorsCopy(QStringLiteral("b.qzd")), bad.toUtf8() + "\r\n");
    EXPECT_EQ(value(QStringLiteral("M1"), QStringLiteral("Patient")), QStringLiteral("Smith"));
    EXPECT_EQ(value(QStringLiteral("M3"), QStringLiteral("Patient")), QStringLiteral("Smith"));
    EXPECT_EQ(row(QStringLiteral("M2")).rowCount(), 0);
    const QString log = logText();
    EXPECT_TRUE(log.contains(QStringLiteral("(2): Error: Tracking.Count > 0. Tracking.Count = 1")));
    EXPECT_TRUE(log.contains(QStringLiteral("(2): Tracking file written to Errors folder. FileName: b.qzd")));
    // One write (with its own second try): more attempts on a sound connection would be refused alike.
    EXPECT_EQ(log.count(QStringLiteral("(4): doImport: Record FAILED to insert")), 1);
    EXPECT_TRUE(log.contains(QStringLiteral("(4): doImport: RetryCount is 1")));
}

TEST_P(TrackingImportTest, LongerExtensionsAreFoundButSkipped)
{
    writeTrackingLines(QStringLiteral("content.qzdata"), {trackingLine(QStringLiteral("C1"))});
    writeTrackingLines(QStringLiteral("c.CSV"), {trackingLine(QStringLiteral("C2"))});
    loader().doImport();
    EXPECT_TRUE(trackingFileExists(QStringLiteral("content.qzdata")));
    EXPECT_EQ(row(QStringLiteral("C1")).rowCount(), 0);
    EXPECT_FALSE(trackingFileExists(QStringLiteral("c.CSV")));
    EXPECT_EQ(row(QStringLiteral("C2")).rowCount(), 1);
}

TEST_P(TrackingImportTest, LinesAreAppliedFromLastToFirst)
{
    writeTrackingLines(QStringLiteral("d.qzd"),
                       {trackingLine(QStringLiteral("M1"), {{10, QStringLiteral("First#A")}}),
                        trackingLine(QStringLiteral("M1"), {{10, QStringLiteral("Second#B")}})});
    loader().doImport();
    EXPECT_EQ(rowCount(), 1);
    EXPECT_EQ(value(QStringLiteral("M1"), QStringLiteral("Patient")), QStringLiteral("First"));
    const QString log = logText();
    EXPECT_LT(log.indexOf(QStringLiteral("(4): Line 1: ")), log.indexOf(QStringLiteral("(4): Line 0: ")));
}

TEST_P(TrackingImportTest, ZeroDeliveryTextStoresUndeliverable)
{
    writeTrackingLines(QStringLiteral("e.qzd"),
                       {trackingLine(QStringLiteral("M1"), {{4, QStringLiteral("0000-00-00 00:00:00")}})});
    loader().doImport();
    EXPECT_EQ(value(QStringLiteral("M1"), QStringLiteral("QZDeliveryTime")),
              QStringLiteral("1900-01-01 00:00:00.000"));
}

TEST_P(TrackingImportTest, StatusNinetyNineOnANewMessageStoresTheDateButNoStatus)
{
    writeTrackingLines(QStringLiteral("f.qzd"),
                       {trackingLine(QStringLiteral("M1"), {{19, QStringLiteral("99")}})});
    loader().doImport();
    EXPECT_EQ(value(QStringLiteral("M1"), QStringLiteral("QZDeliveryTime")),
              QStringLiteral("1905-07-06 00:00:00.000"));
    EXPECT_EQ(value(QStringLiteral("M1"), QStringLiteral("ReadStatus")), QStringLiteral("NULL"));
    EXPECT_TRUE(logText().contains(
        QStringLiteral("(8): No records matching Delivery Recpt for MsgId: M1. Add new record.")));
    EXPECT_FALSE(trackingFileExists(QStringLiteral("f.qzd")));
}

TEST_P(TrackingImportTest, NotificationOnARowWithoutDeliveryTimeUsesItsReceiveTime)
{
    sql(QStringLiteral(
        "INSERT INTO Tracking (MsgID, Sender, Filename, QZServerReceiveTime, PracID) VALUES "
        "('M1', 'lab@pathology.example', 'PRAC1_RESULT.HL7', '2024-03-05 10:15:20.000', 'PRAC1')"));
    writeTrackingLines(QStringLiteral("g.qzd"),
                       {trackingLine(QStringLiteral("M1"), {{19, QStringLiteral("3")}})});
    loader().doImport();
    EXPECT_EQ(value(QStringLiteral("M1"), QStringLiteral("QZDeliveryTime")),
              QStringLiteral("2024-03-05 10:15:20.000"));
    EXPECT_EQ(value(QStringLiteral("M1"), QStringLiteral("ReadStatus")), QStringLiteral("3"));
    EXPECT_NE(value(QStringLiteral("M1"), QStringLiteral("StatusTime")), QStringLiteral("NULL"));
    const QString log = logText();
    EXPECT_TRUE(log.contains(QStringLiteral("(8): Updated Delivery Recpt for MsgId: M1")));
    EXPECT_TRUE(
        log.contains(QStringLiteral("(4): Processing Status Notification for MsgId: M1. Status was : 3")));
    EXPECT_FALSE(trackingFileExists(QStringLiteral("g.qzd")));
}

TEST_P(TrackingImportTest, ReceiptOfAKnownMessageSetsItsDeliveryTime)
{
    writeTrackingLines(QStringLiteral("h.qzd"),
                       {trackingLine(QStringLiteral("M1"), {{4, QStringLiteral("2024-03-06 09:30:00")}}),
                        trackingLine(QStringLiteral("M1"))});
    loader().doImport();
    EXPECT_EQ(rowCount(), 1);
    EXPECT_EQ(value(QStringLiteral("M1"), QStringLiteral("QZDeliveryTime")),
              QStringLiteral("2024-03-06 09:30:00.000"));
}

TEST_P(TrackingImportTest, NineteenFieldLineReadsItsMessageIdAsStatus)
{
    writeTrackingLines(QStringLiteral("i.qzd"), {trackingLine(QStringLiteral("ABC"), {}, 19)});
    loader().doImport();
    EXPECT_EQ(value(QStringLiteral("ABC"), QStringLiteral("PracID")),
              QStringLiteral("PRAC1@pathology.example"));
    EXPECT_EQ(value(QStringLiteral("ABC"), QStringLiteral("ReadStatus")), QStringLiteral("NULL"));
    EXPECT_TRUE(logText().contains(
        QStringLiteral("No records matching Delivery Recpt for MsgId: ABC. Add new record.")));
}

TEST_P(TrackingImportTest, PracticeComesFromTheFileNameAndSender)
{
    writeTrackingLines(
        QStringLiteral("j.qzd"),
        {trackingLine(QStringLiteral("M1"),
                      {{1, QStringLiteral("x@lab.example")}, {2, QStringLiteral("PR9_a.pit")}}, 17)});
    loader().doImport();
    EXPECT_EQ(value(QStringLiteral("M1"), QStringLiteral("PracID")), QStringLiteral("PR9@lab.example"));
    EXPECT_EQ(value(QStringLiteral("M1"), QStringLiteral("Filename")), QStringLiteral("PR9_A.PIT"));
}

TEST_P(TrackingImportTest, SeventeenFieldsOnAnExistingRowClearTheRunNumber)
{
    sql(QStringLiteral("INSERT INTO Tracking (MsgID, RunNumber) VALUES ('M1', 'R1')"));
    writeTrackingLines(QStringLiteral("k.qzd"), {trackingLine(QStringLiteral("M1"), {}, 17)});
    loader().doImport();
    EXPECT_EQ(value(QStringLiteral("M1"), QStringLiteral("RunNumber")), QStringLiteral("NULL"));
    EXPECT_EQ(value(QStringLiteral("M1"), QStringLiteral("Patient")), QStringLiteral("Smith"));
}

TEST_P(TrackingImportTest, EmptyAndCommaLessLinesAreDroppedQuietly)
{
    writeTrackingLines(QStringLiteral("l.qzd"),
                       {QString(), QStringLiteral("no comma here"), trackingLine(QStringLiteral("M1"))});
    loader().doImport();
    EXPECT_FALSE(trackingFileExists(QStringLiteral("l.qzd")));
    EXPECT_TRUE(errorsCopy(QStringLiteral("l.qzd")).isEmpty());
    EXPECT_EQ(rowCount(), 1);
}

TEST_P(TrackingImportTest, MissingTrackingTablePausesAndTouchesNothing)
{
    sql(QStringLiteral("DROP TABLE Tracking"));
    writeTrackingLines(QStringLiteral("m.qzd"), {trackingLine(QStringLiteral("M1"))});
    loader().doImport();
    EXPECT_TRUE(loader().TrackingTableMissing);
    EXPECT_EQ(m_sleeps, std::vector<int>{20000});
    EXPECT_TRUE(trackingFileExists(QStringLiteral("m.qzd")));
    EXPECT_TRUE(logText().contains(QStringLiteral(
        "(2): SQL Pipe connected, but database no Tracking database available. Sleeping 30 seconds")));
}

TEST_P(TrackingImportTest, UnreadableEntryStaysForTheNextPass)
{
    folder().makeFolder(QStringLiteral("tracking/folder.qzd"));
    loader().doImport();
    EXPECT_TRUE(trackingFileExists(QStringLiteral("folder.qzd")));
    loader().doImport();
    EXPECT_TRUE(trackingFileExists(QStringLiteral("folder.qzd")));
    EXPECT_EQ(logText().count(QStringLiteral("(2): \"folder.qzd\" is not a regular file")), 1);
}

// Mended fault: when the failed lines cannot be copied, the tracking file is kept instead of lost.
TEST_P(TrackingImportTest, UnwritableErrorsCopyKeepsTheFileAndHalts)
{
    folder().writeFile(QStringLiteral("tracking/errors"), "a file where the folder should be");
    const QString bad = trackingLine(QStringLiteral("M2"), {{12, QStringLiteral("2008-13-40")}});
    writeTrackingLines(QStringLiteral("n1.qzd"), {trackingLine(QStringLiteral("M1")), bad});
    writeTrackingLines(QStringLiteral("n2.qzd"), {trackingLine(QStringLiteral("M3"))});
    loader().doImport();
    EXPECT_TRUE(trackingFileExists(QStringLiteral("n1.qzd")));
    EXPECT_TRUE(loader().ProcessingHalted);
    EXPECT_TRUE(trackingFileExists(QStringLiteral("n2.qzd"))); // the pass stopped
    const QString log = logText();
    EXPECT_TRUE(log.contains(QStringLiteral("(2): Tracking file written to Errors folder.\r\n")));
    EXPECT_TRUE(log.contains(
        QStringLiteral("(1): Unable to write the failed lines of \"n1.qzd\" to the errors folder")));
}

// Mended fault: a file still being written is left alone until it has been quiet for two seconds.
TEST_P(TrackingImportTest, FileChangedWithinTwoSecondsWaitsForTheNextPass)
{
    const QString path = writeTrackingLines(QStringLiteral("o.qzd"), {trackingLine(QStringLiteral("M1"))}, 0);
    loader().doImport();
    EXPECT_TRUE(trackingFileExists(QStringLiteral("o.qzd")));
    EXPECT_EQ(rowCount(), 0);

    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    file.setFileTime(QDateTime::currentDateTime().addSecs(-3), QFileDevice::FileModificationTime);
    file.close();
    loader().doImport();
    EXPECT_FALSE(trackingFileExists(QStringLiteral("o.qzd")));
    EXPECT_EQ(rowCount(), 1);
}

TEST_P(TrackingImportTest, UndeletableFileHaltsProcessing)
{
    const QString path = writeTrackingLines(QStringLiteral("p.qzd"), {trackingLine(QStringLiteral("M1"))});
    writeTrackingLines(QStringLiteral("p2.qzd"), {trackingLine(QStringLiteral("M2"))});
    // Root deletes from a read-only folder: an immutable file stands in where the file system allows.
    const bool immutable = setImmutable(path, true);
    if (!immutable && geteuid() == 0)
        GTEST_SKIP() << "no way to make a file undeletable here";
    if (!immutable)
        QFile::setPermissions(trackingDir(), QFile::ReadOwner | QFile::ExeOwner);
    loader().doImport();
    if (immutable)
        setImmutable(path, false);
    else
        QFile::setPermissions(trackingDir(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_TRUE(loader().ProcessingHalted);
    EXPECT_TRUE(trackingFileExists(QStringLiteral("p2.qzd"))); // the pass stopped after the first file
    EXPECT_TRUE(logText().contains(QStringLiteral("(1): Unable to delete file \"\r\n") + trackingDir() +
                                   QStringLiteral("p.qzd\r\n\".  Processessing will be disabled.")));
}

TEST_P(TrackingImportTest, MessageIdWithASingleQuoteIsLookedUpSafely)
{
    writeTrackingLines(QStringLiteral("q.qzd"), {trackingLine(QStringLiteral("O'Brien' or '1'='1"),
                                                              {{4, QStringLiteral("2024-03-06 09:30:00")}}),
                                                 trackingLine(QStringLiteral("O'Brien' or '1'='1"))});
    sql(QStringLiteral("INSERT INTO Tracking (MsgID) VALUES ('bystander')"));
    loader().doImport();
    EXPECT_FALSE(trackingFileExists(QStringLiteral("q.qzd")));
    EXPECT_EQ(value(QStringLiteral("O'Brien' or '1'='1"), QStringLiteral("QZDeliveryTime")),
              QStringLiteral("2024-03-06 09:30:00.000"));
    EXPECT_EQ(value(QStringLiteral("bystander"), QStringLiteral("QZDeliveryTime")), QStringLiteral("NULL"));
}

TEST_P(TrackingImportTest, HugeLineEndsInTheErrorsCopy)
{
    const QString huge = trackingLine(QStringLiteral("M1"), {{10, QString(100000, u'x')}});
    writeTrackingLines(QStringLiteral("r.qzd"), {huge, trackingLine(QStringLiteral("M2"))});
    loader().LoggingLevel = 3; // the line would fill the log many times over at level 4
    loader().doImport();
    EXPECT_EQ(errorsCopy(QStringLiteral("r.qzd")), huge.toUtf8() + "\r\n");
    EXPECT_EQ(rowCount(), 1);
}

TEST_P(TrackingImportTest, EmptyFileAndCarriageReturnLineEnds)
{
    writeTrackingFile(QStringLiteral("s1.qzd"), QByteArray());
    writeTrackingFile(
        QStringLiteral("s2.qzd"),
        (trackingLine(QStringLiteral("M1")) + u'\r' + trackingLine(QStringLiteral("M2")) + u'\r').toUtf8());
    loader().doImport();
    EXPECT_FALSE(trackingFileExists(QStringLiteral("s1.qzd")));
    EXPECT_FALSE(trackingFileExists(QStringLiteral("s2.qzd")));
    EXPECT_EQ(rowCount(), 2);
    EXPECT_FALSE(folder().exists(QStringLiteral("tracking/errors")));
}

TEST_P(TrackingImportTest, BinaryGarbageLosesNoLine)
{
    QByteArray garbage(20000, '\0');
    QRandomGenerator random(42);
    for (char &c : garbage) {
        const quint32 r = random.bounded(256);
        c = r < 20 ? ',' : (r < 26 ? '\n' : static_cast<char>(r));
    }
    writeTrackingFile(QStringLiteral("t.qzd"), garbage);
    loader().LoggingLevel = 3;
    loader().doImport();
    EXPECT_FALSE(loader().ProcessingHalted);
    EXPECT_FALSE(trackingFileExists(QStringLiteral("t.qzd")));

    const QStringList kept = splitTextLines(decodeServerText(errorsCopy(QStringLiteral("t.qzd"))).text);
    for (const QString &text : splitTextLines(decodeServerText(garbage).text)) {
        const TrackingLine line(text);
        if (line.isSkipped() || kept.contains(text))
            continue;
        ExistingTrackingRow existing;
        EXPECT_GE(loader().GetExistingRow(line.messageId(), existing), 0) << "line neither applied nor kept";
    }
}

OVTRACK_ON_EVERY_BACKEND(TrackingImportTest);

} // namespace

namespace {

// Mended fault: wall-clock times that do not exist in the machine's zone (a spring-forward gap) were
// refused or stored as NULL, and times in the repeated autumn hour could move. Stored as written,
// whatever TZ says (this executable runs under UTC, Europe/London and America/Sao_Paulo).
TEST_P(TrackingImportTest, TimesInsideAGapOrTheRepeatedHourAreStoredAsWritten)
{
    writeTrackingLines(QStringLiteral("gap.qzd"),
                       {trackingLine(QStringLiteral("G1"), {{3, QStringLiteral("2024-03-31 01:30:00")},
                                                            {12, QStringLiteral("2017-10-15")},
                                                            {15, QStringLiteral("2017-10-15 00:30:00")}}),
                        trackingLine(QStringLiteral("G2"), {{3, QStringLiteral("2024-10-27 01:30:00")},
                                                            {4, QStringLiteral("2018-02-17 23:30:00")}})});
    loader().doImport();
    EXPECT_FALSE(folder().exists(QStringLiteral("tracking/errors"))) << logText().toStdString();
    EXPECT_EQ(value(QStringLiteral("G1"), QStringLiteral("QZServerReceiveTime")),
              QStringLiteral("2024-03-31 01:30:00.000"));
    EXPECT_EQ(value(QStringLiteral("G1"), QStringLiteral("PatientDOB")),
              QStringLiteral("2017-10-15 00:00:00.000"));
    EXPECT_EQ(value(QStringLiteral("G1"), QStringLiteral("CollectTime")),
              QStringLiteral("2017-10-15 00:30:00"));
    EXPECT_EQ(value(QStringLiteral("G2"), QStringLiteral("QZServerReceiveTime")),
              QStringLiteral("2024-10-27 01:30:00.000"));
    EXPECT_EQ(value(QStringLiteral("G2"), QStringLiteral("QZDeliveryTime")),
              QStringLiteral("2018-02-17 23:30:00.000"));

    // The existing row is read back and compared without moving: a receipt inside the gap applies.
    writeTrackingLines(QStringLiteral("gap2.qzd"),
                       {trackingLine(QStringLiteral("G1"), {{4, QStringLiteral("2024-03-31 01:45:00")}})});
    loader().doImport();
    EXPECT_EQ(value(QStringLiteral("G1"), QStringLiteral("QZDeliveryTime")),
              QStringLiteral("2024-03-31 01:45:00.000"));
    EXPECT_EQ(value(QStringLiteral("G1"), QStringLiteral("QZServerReceiveTime")),
              QStringLiteral("2024-03-31 01:30:00.000"));
}

// Mended fault: absent Sender, PracID or Filename were bound as NULL when the status was applied, so
// a later receipt overwrote the delivery time of a row already delivered.
TEST_P(TrackingImportTest, StatusLineWithEmptySenderKeepsItsDeliveryTimeAgainstALaterReceipt)
{
    writeTrackingLines(QStringLiteral("s1.qzd"),
                       {trackingLine(QStringLiteral("S1"), {{1, QString()},
                                                            {4, QStringLiteral("2024-03-06 09:30:00")},
                                                            {19, QStringLiteral("3")}})});
    loader().doImport();
    EXPECT_EQ(value(QStringLiteral("S1"), QStringLiteral("QZDeliveryTime")),
              QStringLiteral("2024-03-06 09:30:00.000"));
    EXPECT_EQ(value(QStringLiteral("S1"), QStringLiteral("ReadStatus")), QStringLiteral("3"));
    EXPECT_EQ(value(QStringLiteral("S1"), QStringLiteral("Sender")), QString());

    writeTrackingLines(QStringLiteral("s2.qzd"),
                       {trackingLine(QStringLiteral("S1"), {{4, QStringLiteral("2024-03-07 11:00:00")}})});
    loader().doImport();
    EXPECT_EQ(rowCount(), 1);
    EXPECT_EQ(value(QStringLiteral("S1"), QStringLiteral("QZDeliveryTime")),
              QStringLiteral("2024-03-06 09:30:00.000"));
}

// Mended fault: a pipe blocked the pass for good, a link to /dev/zero was read until memory ran out,
// a link to a file elsewhere was imported. Only regular files are read; the rest stays, with one
// level-2 line the first time it is seen. A tracking file over 64 MiB is left unread likewise.
TEST_P(TrackingImportTest, PipesLinksAndHugeFilesAreLeftAloneWithOneLineEach)
{
    const QString outside = folder().writeFile(QStringLiteral("elsewhere.txt"),
                                               trackingLine(QStringLiteral("OUT")).toUtf8() + "\r\n");
    ASSERT_EQ(::mkfifo(QFile::encodeName(trackingDir() + QStringLiteral("pipe.qzd")).constData(), 0600), 0);
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), trackingDir() + QStringLiteral("z.qzd")));
    ASSERT_TRUE(QFile::link(outside, trackingDir() + QStringLiteral("LINK.qzd")));
    const QString huge = writeTrackingLines(QStringLiteral("huge.qzd"), {trackingLine(QStringLiteral("H1"))});
    ASSERT_TRUE(QFile::resize(huge, 64LL * 1024 * 1024 + 1)); // sparse: no disk used
    writeTrackingLines(QStringLiteral("real.qzd"), {trackingLine(QStringLiteral("R1"))});

    loader().doImport();
    loader().doImport();

    EXPECT_EQ(rowCount(), 1);
    EXPECT_EQ(row(QStringLiteral("R1")).rowCount(), 1);
    const QString log = logText();
    for (const char *name : {"pipe.qzd", "z.qzd", "LINK.qzd"}) {
        EXPECT_TRUE(QFileInfo(trackingDir() + QLatin1String(name)).isSymLink() ||
                    QFileInfo::exists(trackingDir() + QLatin1String(name)))
            << name;
        EXPECT_EQ(log.count(QStringLiteral("(2): \"%1\" is not a regular file").arg(QLatin1String(name))), 1)
            << name;
    }
    EXPECT_TRUE(trackingFileExists(QStringLiteral("huge.qzd")));
    EXPECT_EQ(log.count(QStringLiteral("(2): \"huge.qzd\" is larger than 64 MiB")), 1);
    EXPECT_TRUE(QFileInfo::exists(outside));
}

// Mended fault: a file stamped in the future (clock skew on a shared folder) was never imported. It is
// settled once its size and stamp stayed the same between two looks two seconds apart.
TEST_P(TrackingImportTest, FutureStampedFileIsImportedOnceItStayedTheSameForTwoSeconds)
{
    qint64 clock = 0;
    loader().FileLooks.setClock([&clock] { return clock; });
    const QString path =
        writeTrackingLines(QStringLiteral("ahead.qzd"), {trackingLine(QStringLiteral("F1"))});
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(
        file.setFileTime(QDateTime::currentDateTime().addSecs(3600), QFileDevice::FileModificationTime));
    file.close();

    loader().doImport();
    clock += 1000;
    loader().doImport();
    EXPECT_EQ(rowCount(), 0);

    // A change between looks starts the wait again.
    ASSERT_TRUE(file.open(QIODevice::Append));
    file.write(trackingLine(QStringLiteral("F2")).toUtf8() + "\r\n");
    file.close();
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(
        file.setFileTime(QDateTime::currentDateTime().addSecs(3600), QFileDevice::FileModificationTime));
    file.close();
    clock += 1000;
    loader().doImport();
    EXPECT_EQ(rowCount(), 0);
    clock += 2000;
    loader().doImport();
    EXPECT_EQ(rowCount(), 2);
    EXPECT_FALSE(trackingFileExists(QStringLiteral("ahead.qzd")));
}

} // namespace
