#include "shared/tracking/DbStatement.h"
#include "viewer/search/CsvWriter.h"
#include "viewer/search/TrackResultModel.h"
#include "viewer/search/TrackSearch.h"

#include "tests/search/BackendSearchTest.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QSignalSpy>

#include <map>

#include <gtest/gtest.h>

namespace {

using DB = TrackingTestDatabase;

// A result, and a second connection to the same database writing as the loader does. On SQLite the
// database is in WAL mode.
class Snapshot : public BackendSearchTest
{
protected:
    void SetUp() override
    {
        BackendSearchTest::SetUp();
        if (!IsSkipped())
            loader.open(db->connectionString());
    }

    void insertRows(const QString &prefix, int count)
    {
        db->connection().beginTransaction();
        DbStatement insert(db->connection(),
                           "insert into Tracking (MsgID, PracID, Patient, QZServerReceiveTime) "
                           "values (:id, :prac, :patient, :received)");
        for (int i = 0; i < count; ++i) {
            insert.bind("id", ::ParamType::Text, QString("%1%2").arg(prefix).arg(i, 5, 10, QChar('0')));
            insert.bind("prac", ::ParamType::Text, prefix.toUpper());
            insert.bind("patient", ::ParamType::Text, QString("Patient %1").arg(i));
            insert.bind("received", ::ParamType::DateTime, DB::at(2024, 3, 1).addSecs(i));
            insert.execute();
        }
        db->connection().commit();
    }

    TrackSearch::Result searchPractice(const QString &practice)
    {
        criteria.mailboxChecked = true;
        criteria.mailboxText = practice;
        return search->RunTrackQuery(criteria, "MsgID", now);
    }

    void readInBackground()
    {
        while (model.isReading())
            QCoreApplication::processEvents();
    }

    DbConnection loader{folder.path()};
};

TEST_P(Snapshot, BackgroundReadReleasesTheStatementSoTheLogCanBeCheckpointed)
{
    insertRows("a", 300);
    ASSERT_EQ(searchPractice("A").outcome, TrackSearch::Outcome::Opened);
    EXPECT_EQ(model.rowCount(), TrackResultModel::FetchBatch);
    EXPECT_TRUE(model.isReading());

    loader.execute("insert into Tracking (MsgID, PracID) values ('new', 'A')");
    if (backend() == Backend::Sqlite) {
        // While the statement is open its snapshot pins the log: the new frames cannot be copied back.
        const DbResult pinned = DbStatement(loader, "PRAGMA wal_checkpoint(PASSIVE)").open();
        EXPECT_LT(pinned.integer(0, "checkpointed"), pinned.integer(0, "log"));
    }

    QSignalSpy progress(&model, &TrackResultModel::readProgress);
    QSignalSpy finished(&model, &TrackResultModel::readFinished);
    readInBackground();
    EXPECT_EQ(finished.size(), 1);
    ASSERT_FALSE(progress.isEmpty());
    EXPECT_EQ(progress.last().value(0).toInt(), 300);
    EXPECT_EQ(model.rowCount(), 300); // the snapshot as opened: the loader's row came after
    EXPECT_TRUE(model.fetchError().isEmpty());

    loader.execute("insert into Tracking (MsgID, PracID) values ('newer', 'A')");
    EXPECT_TRUE(nothingHeldOpenBesides(loader));

    // The same connection writes at once, as Tag as Managed does.
    DbStatement tag(db->connection(), db->connection().dialect().tagAsManagedSql());
    tag.bind("QMessageID", ::ParamType::Text, "a00150");
    EXPECT_EQ(tag.execute(), 1);
}

TEST_P(Snapshot, LastRowOfALargeResultIsReachableAndCorrect)
{
    insertRows("b", 5000);
    ASSERT_EQ(searchPractice("B").outcome, TrackSearch::Outcome::Opened);
    EXPECT_EQ(search->TrackCount(), 5000);
    ASSERT_TRUE(model.canFetchMore());
    model.fetchMore(); // the view reached the last row: it wants the end
    ASSERT_EQ(model.rowCount(), 5000);
    EXPECT_FALSE(model.isReading());
    EXPECT_EQ(model.value(4999, TrackField::MsgID).toString(), "b04999");
    EXPECT_EQ(model.displayText(4999, TrackField::PatientName), "Patient 4999");
    EXPECT_EQ(model.value(4999, TrackField::QZServerReceiveTime), QVariant(DB::at(2024, 3, 1).addSecs(4999)));
    EXPECT_EQ(model.value(2500, TrackField::MsgID).toString(), "b02500");
    EXPECT_TRUE(nothingHeldOpenBesides(loader));
}

TEST_P(Snapshot, NewSearchDuringABackgroundReadShowsOnlyTheNewResult)
{
    insertRows("c", 400);
    insertRows("d", 250);
    ASSERT_EQ(searchPractice("C").outcome, TrackSearch::Outcome::Opened);
    ASSERT_TRUE(model.isReading());
    QSignalSpy finished(&model, &TrackResultModel::readFinished);
    ASSERT_EQ(searchPractice("D").outcome, TrackSearch::Outcome::Opened);
    readInBackground();
    ASSERT_EQ(model.rowCount(), 250);
    for (int row = 0; row < model.rowCount(); ++row)
        ASSERT_EQ(model.value(row, TrackField::PracID).toString(), "D") << row;
    EXPECT_EQ(finished.size(), 1);
    EXPECT_TRUE(nothingHeldOpenBesides(loader));
}

TEST_P(Snapshot, CancelledReadKeepsItsRowsAndReleasesTheStatement)
{
    insertRows("e", 300);
    searchPractice("E");
    model.cancelRead();
    EXPECT_FALSE(model.isReading());
    EXPECT_FALSE(model.canFetchMore());
    EXPECT_EQ(model.rowCount(), TrackResultModel::FetchBatch);
    loader.execute("insert into Tracking (MsgID, PracID) values ('late', 'E')");
    EXPECT_TRUE(nothingHeldOpenBesides(loader));
}

TEST_P(Snapshot, CsvStreamsTheRestWithoutKeepingIt)
{
    insertRows("f", 350);
    searchPractice("F");
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    EXPECT_EQ(writeTrackCsv(model, buffer), 350);
    const QStringList lines = QString::fromUtf8(buffer.data()).split("\r\n");
    ASSERT_EQ(lines.size(), 352);
    EXPECT_TRUE(lines[350].contains("Patient 349")) << lines[350].toStdString();
    EXPECT_EQ(model.rowCount(), TrackResultModel::FetchBatch); // only the rows read before are kept
    EXPECT_FALSE(model.isReading());
    EXPECT_TRUE(nothingHeldOpenBesides(loader));
}

TEST_P(Snapshot, EveryRowReadsAlikeWhetherItComesFirstOrLater)
{
    // The first row comes through Qt, later ones straight from the database's own client where
    // there is one: each row is read first in one order and later in the other.
    if (backend() != Backend::Sqlite)
        GTEST_SKIP() << "only the embedded database reads its first row through Qt and the rest apart";
    db->connection().execute(
        "insert into Tracking (MsgID, PracID, Patient, PatientGiven, QZServerReceiveTime, QZDeliveryTime, "
        "StatusTime, PatientDOB, ReadStatus, Test) values "
        "('r1', 'G', 'Ó Brien', '', '2024-03-01 09:08:07.123', '1900-01-01', '2024-03-02T10:00:00', "
        "'not a date', 2, 'FBC, U&E'), "
        "('r2', 'G', NULL, 'Jo', '2024-03-01 09:08', NULL, '2024-03-02 10:00:00', '1980-07-01', NULL, ''), "
        "('r3', 'G', 'Smith', NULL, '2024-02-29 23:59:59', '2001-01-01 00:00:00.000', NULL, NULL, '7', "
        "NULL)");
    const auto rowsIn = [&](const QString &sortOrder) {
        criteria.mailboxChecked = true;
        criteria.mailboxText = "G";
        EXPECT_EQ(search->RunTrackQuery(criteria, sortOrder, now).outcome, TrackSearch::Outcome::Opened);
        model.fetchAll();
        std::map<QString, QVariantList> rows;
        for (int row = 0; row < model.rowCount(); ++row) {
            QVariantList values;
            for (int field = 0; field < TrackFieldCount; ++field)
                values << model.value(row, TrackField(field));
            rows[model.value(row, TrackField::MsgID).toString()] = values;
        }
        return rows;
    };
    const auto ascending = rowsIn("MsgID");
    const auto descending = rowsIn("MsgID desc");
    ASSERT_EQ(ascending.size(), 3u);
    EXPECT_EQ(ascending, descending);
    const QVariantList &r1 = ascending.at("r1");
    EXPECT_EQ(r1[int(TrackField::Patient)], QVariant("Ó Brien"));
    EXPECT_EQ(r1[int(TrackField::PatientGiven)], QVariant(""));
    EXPECT_EQ(r1[int(TrackField::QZServerReceiveTime)],
              QVariant(WallClock::of(QDate(2024, 3, 1), QTime(9, 8, 7, 123))));
    EXPECT_EQ(r1[int(TrackField::StatusTime)], QVariant(WallClock::of(QDate(2024, 3, 2), QTime(10, 0))));
    EXPECT_TRUE(r1[int(TrackField::PatientDOB)].isNull());
    EXPECT_EQ(r1[int(TrackField::ReadStatus)], QVariant(2));
    EXPECT_TRUE(ascending.at("r2")[int(TrackField::Patient)].isNull());
    EXPECT_EQ(ascending.at("r3")[int(TrackField::ReadStatus)], QVariant(7));
}

OVTRACK_ON_EVERY_BACKEND(Snapshot);

} // namespace
