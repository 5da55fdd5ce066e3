#include "loader/OVTrackSvcForm.h"
#include "tests/service/FileAge.h"
#include "tests/service/LockedFolder.h"
#include "tests/support/TestDatabase.h"
#include "tests/support/TestFolder.h"

#include "shared/tracking/DbStatement.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <vector>

#include <sys/stat.h>

namespace {

struct StoredRow
{
    QString msgId;
    QByteArray data;
};

// A loader with a real database holding HM_CONTENT, its content store on, logging everything, and
// waits recorded instead of slept. It runs on every backend.
class ContentStore : public ::testing::Test
{
protected:
    virtual Backend backend() const = 0;

    void SetUp() override
    {
        QString reason;
        if (backend() == Backend::PostgreSql && !TestPostgres::server(&reason))
            GTEST_SKIP() << "PostgreSQL: " << reason.toStdString();
        m_database = std::make_unique<TestDatabase>(backend(), m_folder.path());
        m_tracking = m_folder.makeFolder(QStringLiteral("tracking"));
        m_loader = std::make_unique<TsvcOVTrack>(
            m_folder.path(),
            QStringList{QStringLiteral("svcOVTrack"), QStringLiteral("/logging"), QStringLiteral("15")});
        m_loader->OpenLog();
        m_loader->TrackingDir = m_tracking;
        m_loader->StoreHM = true;
        m_loader->Sleep = [this](int milliseconds) { m_waits.push_back(milliseconds); };
        m_loader->adoConn1.open(m_database->connectionString());
        m_loader->adoConn1.execute(m_loader->adoConn1.dialect().createContentSql());
        // An insertion counter like SQLite's own rowid, so that the rows keep their order.
        if (backend() == Backend::PostgreSql)
            m_loader->adoConn1.execute(QStringLiteral("ALTER TABLE HM_CONTENT ADD COLUMN rowid serial"));
    }

    QString drop(const QString &name, const QByteArray &bytes)
    {
        const QString path = m_folder.writeFile(QStringLiteral("tracking/") + name, bytes);
        makeSettled(path);
        return path;
    }

    bool present(const QString &name) const { return m_folder.exists(QStringLiteral("tracking/") + name); }

    std::vector<StoredRow> rows()
    {
        DbStatement select(m_loader->adoConn1,
                           QStringLiteral("select MsgID, HMData from HM_CONTENT order by rowid"));
        const DbResult result = select.open();
        std::vector<StoredRow> stored;
        for (int row = 0; row < result.rowCount(); ++row)
            stored.push_back({result.text(row, QStringLiteral("MsgID")),
                              result.value(row, QStringLiteral("HMData")).toByteArray()});
        return stored;
    }

    QString log()
    {
        m_loader->ReopenLog();
        return QString::fromUtf8(m_folder.readFile(QStringLiteral("importtrack.log")));
    }

    TestFolder m_folder;
    std::unique_ptr<TestDatabase> m_database;
    QString m_tracking;
    std::unique_ptr<TsvcOVTrack> m_loader;
    std::vector<int> m_waits;
};

class ContentStoreTest : public ContentStore, public ::testing::WithParamInterface<Backend>
{
protected:
    Backend backend() const override { return GetParam(); }
};

QByteArray everyByteValue()
{
    QByteArray bytes;
    for (int round = 0; round < 3; ++round)
        for (int value = 0; value < 256; ++value)
            bytes.append(static_cast<char>(value));
    return bytes;
}

TEST_P(ContentStoreTest, StoreOffTouchesNothing)
{
    m_loader->StoreHM = false;
    drop(QStringLiteral("A1.data"), "content");
    drop(QStringLiteral("B2.qzdata"), "content");
    m_loader->StoreContentFiles();
    EXPECT_TRUE(present(QStringLiteral("A1.data")));
    EXPECT_TRUE(present(QStringLiteral("B2.qzdata")));
    EXPECT_TRUE(rows().empty());
}

TEST_P(ContentStoreTest, DataFilesGoBeforeQzdataFiles)
{
    drop(QStringLiteral("x.data"), "first");
    drop(QStringLiteral("y.qzdata"), "second");

    m_loader->StoreContentFiles();
    ASSERT_EQ(rows().size(), 1u);
    EXPECT_EQ(rows()[0].msgId, QStringLiteral("x"));
    EXPECT_TRUE(present(QStringLiteral("y.qzdata")));

    m_loader->StoreContentFiles();
    ASSERT_EQ(rows().size(), 2u);
    EXPECT_EQ(rows()[1].msgId, QStringLiteral("y"));
    EXPECT_EQ(rows()[1].data, QByteArray("second"));
    EXPECT_FALSE(present(QStringLiteral("y.qzdata")));
}

struct StoredFileCase
{
    const char *fileName;
    QByteArray bytes;
    const char *msgId;
};

void PrintTo(const StoredFileCase &c, std::ostream *out)
{
    *out << c.fileName;
}

class StoredFile : public ContentStore,
                   public ::testing::WithParamInterface<std::tuple<Backend, StoredFileCase>>
{
protected:
    Backend backend() const override { return std::get<0>(GetParam()); }
};

// Every file comes back byte for byte under the message id of its name, and is deleted.
TEST_P(StoredFile, ComesBackByteForByteUnderItsMessageId)
{
    const StoredFileCase &c = std::get<1>(GetParam());
    const QString name = QString::fromUtf8(c.fileName);
    drop(name, c.bytes);
    m_loader->StoreContentFiles();

    const std::vector<StoredRow> stored = rows();
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0].msgId, QString::fromUtf8(c.msgId));
    EXPECT_EQ(stored[0].data, c.bytes);
    EXPECT_EQ(stored[0].data.size(), c.bytes.size());
    EXPECT_FALSE(present(name));
    const QString text = log();
    const qsizetype loading =
        text.indexOf(QStringLiteral("(4): Data file ") + name + QStringLiteral(" Loading into memory."));
    const qsizetype adding = text.indexOf(QStringLiteral("(4): Adding Data file ") + name +
                                          QStringLiteral(" to content database"));
    const qsizetype added =
        text.indexOf(QStringLiteral("(4): Data file ") + name + QStringLiteral(" added to database."));
    EXPECT_GE(loading, 0);
    EXPECT_GT(adding, loading);
    EXPECT_GT(added, adding);
}

INSTANTIATE_TEST_SUITE_P(
    Files, StoredFile,
    ::testing::Combine(
        EveryBackend,
        ::testing::Values(StoredFileCase{"A1B2.data", QByteArray("MSH|^~\\&|LAB\rPID|1\r"), "A1B2"},
                          StoredFileCase{"empty.data", QByteArray(), "empty"},
                          StoredFileCase{"a.b.data", QByteArray("two dots"), "a.b"},
                          StoredFileCase{"every-byte.qzdata", everyByteValue(), "every-byte"},
                          StoredFileCase{"O'Malley.data", QByteArray("quote in the id"), "O'Malley"},
                          StoredFileCase{"cp1252.data", QByteArray("Caf\xe9 \x96 \x80 5", 10), "cp1252"})));

TEST_P(ContentStoreTest, SecondFileOfAMessageAddsASecondRow)
{
    drop(QStringLiteral("M1.data"), "one");
    m_loader->StoreContentFiles();
    drop(QStringLiteral("M1.data"), "two");
    m_loader->StoreContentFiles();
    const std::vector<StoredRow> stored = rows();
    ASSERT_EQ(stored.size(), 2u);
    EXPECT_EQ(stored[0].data, QByteArray("one"));
    EXPECT_EQ(stored[1].data, QByteArray("two"));
}

// Mended fault: a file stored before a crash kept it from being deleted, or delivered again, was
// stored a second time.
TEST_P(ContentStoreTest, TheSameBytesAgainForAMessageAreDeletedWithoutASecondRow)
{
    drop(QStringLiteral("R1.data"), everyByteValue());
    m_loader->StoreContentFiles();
    drop(QStringLiteral("R1.data"), everyByteValue()); // delivered again
    drop(QStringLiteral("r1.qzdata"), everyByteValue()); // the same message, as the table compares ids
    m_loader->StoreContentFiles();
    m_loader->StoreContentFiles();

    EXPECT_FALSE(present(QStringLiteral("R1.data")));
    EXPECT_FALSE(present(QStringLiteral("r1.qzdata")));
    const std::vector<StoredRow> stored = rows();
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0].data, everyByteValue());
    EXPECT_TRUE(log().contains(QStringLiteral("(4): Data file R1.data is stored already; no second copy is added.")));
}

TEST_P(ContentStoreTest, DuplicateRefusedByTheDatabaseDeletesTheFileSilently)
{
    // A table with a unique key on the message id refuses a second copy as a duplicate key.
    m_loader->adoConn1.execute(QStringLiteral("create unique index HM_CONTENT_ONCE on HM_CONTENT (MsgID)"));
    drop(QStringLiteral("D1.data"), "kept");
    m_loader->StoreContentFiles();
    drop(QStringLiteral("D1.data"), "refused");
    m_loader->StoreContentFiles();

    EXPECT_FALSE(present(QStringLiteral("D1.data")));
    const std::vector<StoredRow> stored = rows();
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0].data, QByteArray("kept"));
    EXPECT_FALSE(log().contains(QStringLiteral("Record for")));
}

TEST_P(ContentStoreTest, FailedInsertKeepsTheFileAndSaysWhy)
{
    m_loader->adoConn1.execute(QStringLiteral("drop table HM_CONTENT"));
    drop(QStringLiteral("F1.data"), "waits");
    m_loader->StoreContentFiles();
    m_loader->StoreContentFiles();

    EXPECT_TRUE(present(QStringLiteral("F1.data")));
    const QString text = log();
    EXPECT_EQ(text.count(QStringLiteral("(2): Record for \"F1.data\" insert failed. ")), 2);
    EXPECT_TRUE(text.contains(QStringLiteral("HM_CONTENT"), Qt::CaseInsensitive));
}

TEST_P(ContentStoreTest, FileThatCannotBeDeletedStopsTheStoreUntilRestart)
{
    drop(QStringLiteral("L1.data"), "first");
    drop(QStringLiteral("L2.data"), "second");
    LockedFolder lock(m_tracking);
    if (!lock.locked())
        GTEST_SKIP() << "no way to make a folder refuse deletions here";

    m_loader->StoreContentFiles();

    // The pass goes on after the first failure: both files are stored, both stay.
    ASSERT_EQ(rows().size(), 2u);
    EXPECT_TRUE(present(QStringLiteral("L1.data")));
    EXPECT_FALSE(m_loader->StoreHM);
    EXPECT_EQ(m_waits, (std::vector<int>{10000, 10000}));
    const QString warning =
        QStringLiteral("(2): WARNING!!!!!!!  Could not Delete the file \"") + m_tracking +
        QStringLiteral("L1.data\" Data import halted to prevent DB Overrun.  Service must be "
                       "restarted.");
    EXPECT_TRUE(log().contains(warning));

    m_loader->StoreContentFiles();
    EXPECT_EQ(rows().size(), 2u) << "later passes store nothing";
}

// A file still being written must not be stored half-done and then deleted.
TEST_P(ContentStoreTest, FileChangedWithinTwoSecondsWaitsForTheNextPass)
{
    const QString path = m_folder.writeFile(QStringLiteral("tracking/W1.data"), "half of it");
    m_loader->StoreContentFiles();
    EXPECT_TRUE(rows().empty());
    EXPECT_TRUE(present(QStringLiteral("W1.data")));

    QFile more(path);
    ASSERT_TRUE(more.open(QIODevice::Append));
    more.write(" and the rest");
    more.close();
    makeSettled(path);
    m_loader->StoreContentFiles();
    const std::vector<StoredRow> stored = rows();
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0].data, QByteArray("half of it and the rest"));
    EXPECT_FALSE(present(QStringLiteral("W1.data")));
}

TEST_P(ContentStoreTest, FolderNamedLikeAContentFileIsNotContent)
{
    m_folder.makeFolder(QStringLiteral("tracking/odd.data"));
    drop(QStringLiteral("z.qzdata"), "real");
    m_loader->StoreContentFiles();
    ASSERT_EQ(rows().size(), 1u);
    EXPECT_EQ(rows()[0].msgId, QStringLiteral("z"));
}

// Mended fault: an empty content file was stored with a NULL HMData, which reads as "no content".
TEST_P(ContentStoreTest, EmptyFileIsStoredAsEmptyContentNotNull)
{
    drop(QStringLiteral("E1.data"), QByteArray());
    m_loader->StoreContentFiles();
    DbStatement select(
        m_loader->adoConn1,
        QStringLiteral("select HMData is null as NoData, length(HMData) as Size from HM_CONTENT"));
    const DbResult result = select.open();
    ASSERT_EQ(result.rowCount(), 1);
    EXPECT_EQ(result.integer(0, QStringLiteral("NoData")), 0);
    EXPECT_EQ(result.integer(0, QStringLiteral("Size")), 0);
    EXPECT_FALSE(present(QStringLiteral("E1.data")));
}

// Mended fault: SQLite's own words for a unique key were not taken for a duplicate.
TEST_P(ContentStoreTest, DuplicateRefusedByAUniqueKeyOnSqliteDeletesTheFileSilently)
{
    m_loader->adoConn1.execute(
        QStringLiteral("create unique index IX_HM_CONTENT_MsgID on HM_CONTENT (MsgID)"));
    drop(QStringLiteral("U1.data"), "kept");
    m_loader->StoreContentFiles();
    drop(QStringLiteral("U1.data"), "refused");
    m_loader->StoreContentFiles();

    EXPECT_FALSE(present(QStringLiteral("U1.data")));
    const std::vector<StoredRow> stored = rows();
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0].data, QByteArray("kept"));
    EXPECT_FALSE(log().contains(QStringLiteral("Record for")));
}

// Mended fault: a pipe blocked the pass for good, a link to /dev/zero was read until memory ran out
// and a link to a file outside the folder was stored. Only regular files are content.
TEST_P(ContentStoreTest, PipesAndLinksAreLeftAloneWithOneLineEach)
{
    const QString outside = m_folder.writeFile(QStringLiteral("secret.txt"), "not content");
    ASSERT_EQ(::mkfifo(QFile::encodeName(m_tracking + QStringLiteral("pipe.data")).constData(), 0600), 0);
    ASSERT_TRUE(QFile::link(outside, m_tracking + QStringLiteral("LINK.data")));
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), m_tracking + QStringLiteral("zero.data")));
    drop(QStringLiteral("real.data"), "real");

    m_loader->StoreContentFiles();
    m_loader->StoreContentFiles();

    const std::vector<StoredRow> stored = rows();
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0].msgId, QStringLiteral("real"));
    const QString text = log();
    for (const QString &name :
         {QStringLiteral("pipe.data"), QStringLiteral("LINK.data"), QStringLiteral("zero.data")}) {
        EXPECT_TRUE(QFileInfo(m_tracking + name).isSymLink() || QFileInfo::exists(m_tracking + name))
            << qPrintable(name);
        EXPECT_EQ(text.count(QStringLiteral("(2): \"") + name + QStringLiteral("\" is not a regular file")),
                  1)
            << qPrintable(name);
    }
    EXPECT_TRUE(QFileInfo::exists(outside));
}

// Mended fault: a file stamped in the future (clock skew on a shared folder) was never stored.
TEST_P(ContentStoreTest, FutureStampedFileIsStoredOnceItStayedTheSameForTwoSeconds)
{
    qint64 clock = 0;
    m_loader->FileLooks.setClock([&clock] { return clock; });
    const QString path = m_folder.writeFile(QStringLiteral("tracking/S1.data"), "skewed");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(
        file.setFileTime(QDateTime::currentDateTime().addSecs(3600), QFileDevice::FileModificationTime));
    file.close();

    m_loader->StoreContentFiles(); // first look
    clock += 1999;
    m_loader->StoreContentFiles(); // too soon
    EXPECT_TRUE(rows().empty());
    clock += 1;
    m_loader->StoreContentFiles();
    ASSERT_EQ(rows().size(), 1u);
    EXPECT_EQ(rows()[0].data, QByteArray("skewed"));
    EXPECT_FALSE(present(QStringLiteral("S1.data")));
}
OVTRACK_ON_EVERY_BACKEND(ContentStoreTest);

} // namespace
