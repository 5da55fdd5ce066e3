#include "viewer/reports/TrackReportSource.h"
#include "viewer/search/CsvWriter.h"
#include "viewer/search/SearchSettingsStore.h"
#include "viewer/search/SpreadsheetText.h"
#include "viewer/search/TrackResultModel.h"
#include "viewer/search/TrackSearch.h"

#include "shared/text/WallClock.h"

#include "tests/search/BackendSearchTest.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QSettings>

#include <gtest/gtest.h>

namespace {

using DB = TrackingTestDatabase;

class Search : public BackendSearchTest
{
protected:
    QStringList msgIds()
    {
        model.fetchAll();
        QStringList ids;
        for (int row = 0; row < model.rowCount(); ++row)
            ids << model.value(row, TrackField::MsgID).toString();
        return ids;
    }

    TrackSearch::Result run(const SearchCriteria &c, const QString &sortOrder = "MsgID")
    {
        return search->RunTrackQuery(c, sortOrder, now);
    }
};

TEST_P(Search, RangeMatchesAnyOfTheThreeTimesAndEveryOtherCriterion)
{
    db->insert(
        {{"MsgID", "received"}, {"Patient", "Smith"}, {"QZServerReceiveTime", DB::at(2024, 3, 10, 9)}});
    db->insert({{"MsgID", "status"},
                {"Patient", "Smith"},
                {"QZServerReceiveTime", DB::at(2024, 1, 1)},
                {"StatusTime", DB::at(2024, 3, 10, 9)}});
    db->insert({{"MsgID", "delivered"},
                {"Patient", "smithers"},
                {"QZServerReceiveTime", DB::at(2024, 1, 1)},
                {"QZDeliveryTime", DB::at(2024, 3, 10, 9)}});
    db->insert({{"MsgID", "outside"}, {"Patient", "Smith"}, {"QZServerReceiveTime", DB::at(2024, 1, 1)}});
    db->insert(
        {{"MsgID", "other patient"}, {"Patient", "Jones"}, {"QZServerReceiveTime", DB::at(2024, 3, 10)}});
    criteria.fromDateChecked = true;
    criteria.fromDate = QDate(2024, 3, 10);
    criteria.nameFilterChecked = true;
    criteria.nameFilterText = "SMITH"; // LIKE is case-insensitive, and a prefix
    ASSERT_EQ(run(criteria).outcome, TrackSearch::Outcome::Opened);
    EXPECT_EQ(msgIds(), (QStringList{"delivered", "received", "status"}));
    EXPECT_EQ(search->TrackCount(), 3);
    EXPECT_EQ(search->CriteriaText(), "From 2024-03-10 00:00:00,to 2024-03-16 00:00:00, Patient \"SMITH\", ");
}

TEST_P(Search, NotDeliveredWithPatientGivesWaitingUndeliverableAndDecryptFailed)
{
    const std::vector<std::pair<QString, QVariant>> rows{{"waiting", QVariant()},
                                                         {"undeliverable", DB::at(1900, 1, 1)},
                                                         {"decrypt", DB::at(1905, 6, 7)},
                                                         {"decrypt2", DB::at(1905, 7, 6)},
                                                         {"managed", DB::at(1900, 1, 27)},
                                                         {"emailed", DB::at(2001, 1, 1)},
                                                         {"delivered", DB::at(2024, 1, 2, 3)}};
    for (const auto &[id, delivery] : rows)
        db->insert({{"MsgID", id}, {"Patient", "Brown"}, {"QZDeliveryTime", delivery}});
    db->insert({{"MsgID", "other"}, {"Patient", "Green"}});
    criteria.statusIndex = 3;
    criteria.nameFilterChecked = true;
    criteria.nameFilterText = "Brown";
    run(criteria);
    EXPECT_EQ(msgIds(), (QStringList{"decrypt", "decrypt2", "undeliverable", "waiting"}));
    criteria.statusIndex = 1;
    run(criteria);
    EXPECT_EQ(msgIds(), (QStringList{"decrypt", "decrypt2", "delivered", "emailed", "managed"}));
}

TEST_P(Search, BrokenSortOrderStillCountsAndReportsTheOpenFailure)
{
    db->insert({{"MsgID", "a"}, {"PracID", "P1"}});
    criteria.mailboxChecked = true;
    criteria.mailboxText = "p";
    const TrackSearch::Result result = run(criteria, "NoSuchColumn");
    EXPECT_EQ(result.outcome, TrackSearch::Outcome::OpenFailed);
    EXPECT_TRUE(result.error.contains("NoSuchColumn", Qt::CaseInsensitive)) << result.error.toStdString();
    EXPECT_EQ(search->TrackCount(), 1);
    EXPECT_FALSE(model.isOpen());
    EXPECT_EQ(model.rowCount(), 0);
}

TEST_P(Search, NoCriteriaKeepsTheCountAndTheCountStatement)
{
    db->insert({{"MsgID", "a"}, {"PracID", "P1"}});
    criteria.mailboxChecked = true;
    run(criteria);
    const QString countText = search->CountQuery().text();
    EXPECT_EQ(run(SearchCriteria::atStartup(now.date())).outcome, TrackSearch::Outcome::NoCriteria);
    EXPECT_EQ(search->TrackCount(), 1);
    EXPECT_TRUE(search->CriteriaText().isEmpty());
    EXPECT_EQ(search->CountQuery().text(), countText);
    EXPECT_EQ(search->GetTrackCount(), 1);
}

TEST_P(Search, TableWithoutAColumnCannotBeOpened)
{
    TestFolder other;
    DB bare(other.path(), "bare.db", false, backend());
    bare.connection().execute("create table Tracking (MsgID varchar(100), PracID varchar(240), "
                              "QZDeliveryTime timestamp, QZServerReceiveTime timestamp)");
    TrackResultModel bareModel;
    TrackSearch bareSearch(bare.connection(), bareModel);
    criteria.mailboxChecked = true;
    const TrackSearch::Result result = bareSearch.RunTrackQuery(criteria, "MsgID", now);
    EXPECT_EQ(result.outcome, TrackSearch::Outcome::OpenFailed);
    EXPECT_FALSE(result.error.isEmpty());
}

TEST_P(Search, ModelReadsInBatchesAndShowsWhatTheGridShows)
{
    db->connection().beginTransaction();
    for (int i = 0; i < 600; ++i)
        db->insert({{"MsgID", QString("m%1").arg(i, 4, 10, QChar('0'))}, {"PracID", "P"}});
    db->connection().commit();
    db->insert({{"MsgID", "z-email"},
                {"PracID", "P"},
                {"Patient", "Doe"},
                {"PatientGiven", "Jo"},
                {"QZServerReceiveTime", DB::at(2024, 2, 1, 8, 9, 10)},
                {"QZDeliveryTime", DB::at(2001, 1, 1)},
                {"PatientDOB", DB::at(1980, 7, 1)},
                {"ReadStatus", 3}});
    criteria.mailboxChecked = true;
    run(criteria);
    EXPECT_EQ(model.rowCount(), TrackResultModel::FetchBatch);
    EXPECT_TRUE(model.canFetchMore());
    model.fetchAll();
    ASSERT_EQ(model.rowCount(), 601);
    EXPECT_FALSE(model.canFetchMore());
    const int last = 600;
    EXPECT_EQ(model.displayText(last, TrackField::Status), "Emailed ");
    EXPECT_EQ(model.displayText(last, TrackField::PatientName), "Doe Jo");
    EXPECT_EQ(model.displayText(last, TrackField::QZDeliveryTime), "01/02/2024 08:09:10");
    EXPECT_EQ(model.displayText(last, TrackField::PatientDOB), "01/07/1980");
    EXPECT_EQ(model.displayText(last, TrackField::ReadStatus), "3");
    EXPECT_EQ(model.value(last, TrackField::QZDeliveryTime), QVariant(DB::at(2001, 1, 1)));
    EXPECT_TRUE(model.value(0, TrackField::Patient).isNull());
    EXPECT_EQ(model.headerData(3, Qt::Horizontal).toString(), "Patient Name");
    EXPECT_EQ(model.data(model.index(0, 0), Qt::BackgroundRole).value<QColor>(), QColor(166, 202, 240));

    TrackReportSource source(model);
    EXPECT_EQ(source.rowCount(), 601);
    EXPECT_EQ(source.displayText(last, source.fieldIndex("patientname")), "Doe Jo");
    EXPECT_EQ(source.fieldIndex("NoSuchField"), -1);
}

// The server trims a fraction's trailing zeros ("07.5"); every row, first or later, reads exactly.
TEST_P(Search, FractionsOfASecondAndTextsBeyondAsciiReadExactly)
{
    const auto at = [](int msec) { return WallClock::of(QDate(2024, 3, 1), QTime(9, 8, 7, msec)); };
    for (const QString &id : QStringList{"f1", "f2"})
        db->insert({{"MsgID", id},
                    {"PracID", "P"},
                    {"Patient", id == "f1" ? "Ñúñez" : "O'Brien; --"},
                    {"QZServerReceiveTime", at(500)},
                    {"StatusTime", at(120)},
                    {"QZDeliveryTime", at(123)},
                    {"ReadStatus", id == "f1" ? 0 : 6}});
    criteria.mailboxChecked = true;
    ASSERT_EQ(run(criteria).outcome, TrackSearch::Outcome::Opened);
    ASSERT_EQ(msgIds(), (QStringList{"f1", "f2"}));
    for (int row = 0; row < 2; ++row) {
        EXPECT_EQ(model.value(row, TrackField::QZServerReceiveTime), QVariant(at(500))) << row;
        EXPECT_EQ(model.value(row, TrackField::StatusTime), QVariant(at(120))) << row;
        EXPECT_EQ(model.value(row, TrackField::QZDeliveryTime), QVariant(at(123))) << row;
    }
    EXPECT_EQ(model.value(0, TrackField::Patient), QVariant("Ñúñez"));
    EXPECT_EQ(model.value(1, TrackField::Patient), QVariant("O'Brien; --"));
    EXPECT_EQ(model.value(0, TrackField::ReadStatus), QVariant(0));
    EXPECT_EQ(model.value(1, TrackField::ReadStatus), QVariant(6));
    EXPECT_TRUE(model.value(0, TrackField::PatientDOB).isNull());
}

TEST(Csv, QuotesOnlyWhatNeedsQuotingAndEndsRecordsWithCrLf)
{
    EXPECT_EQ(CsvWriter::record({"plain", "a,b", "say \"hi\"", "two\nlines", "", "é"}),
              "plain,\"a,b\",\"say \"\"hi\"\"\",\"two\nlines\",,é\r\n");
}

// Mended fault: a name or test beginning like a formula ran as one when the export was opened.
TEST(SpreadsheetCell, BeginningsThatAFormulaTakesGetAnApostrophe)
{
    const struct
    {
        const char *cell;
        const char *shown;
    } cases[] = {
        {"=HYPERLINK(\"http://x\")", "'=HYPERLINK(\"http://x\")"},
        {"+SUM(1,2)", "'+SUM(1,2)"},
        {"-2+3", "'-2+3"},
        {"@SUM(A1)", "'@SUM(A1)"},
        {"\t=1", "'\t=1"},
        {"\r=1", "'\r=1"},
        {"", ""},
        {"Smith", "Smith"},
        {"a=b", "a=b"},
        {" =1", " =1"},
        {"'quoted", "'quoted"},
        {"01/01/1900", "01/01/1900"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(spreadsheetText(c.cell), QString(c.shown)) << c.cell;
    // The apostrophe goes inside the quotes that a comma or quote still needs.
    EXPECT_EQ(CsvWriter::record({"=1,2", "-\"x\"", "ok"}), "\"'=1,2\",\"'-\"\"x\"\"\",ok\r\n");
}

TEST_P(Search, CsvHasTheTitlesAndEveryRowAsShown)
{
    db->insert({{"MsgID", "1"},
                {"PracID", "P,1"},
                {"Patient", "Ó Brien"},
                {"QZDeliveryTime", DB::at(1900, 1, 1)},
                {"Test", "FBC \"urgent\""}});
    for (int i = 0; i < 300; ++i)
        db->insert({{"MsgID", QString("x%1").arg(i)}, {"PracID", "P2"}});
    criteria.mailboxChecked = true;
    run(criteria, "MsgID");
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    EXPECT_EQ(writeTrackCsv(model, buffer), 301);
    const QStringList lines = QString::fromUtf8(buffer.data()).split("\r\n");
    ASSERT_EQ(lines.size(), 303); // titles, rows, and the empty text after the last CR LF
    EXPECT_EQ(lines[0], "Status,Prac. ID,Filename,Patient Name,DOB,Lab Ref,Test Names,Request Date,Addressee,"
                        "Requestor,File Type,Server Recv. Time,Delivery Time,Run Number");
    EXPECT_EQ(lines[1], "Undeliverable,\"P,1\",,Ó Brien,,,\"FBC \"\"urgent\"\"\",,,,,,01/01/1900,");
}

} // namespace

namespace {

TEST_P(Search, DateTimesStoredInShorterFormsAreReadAsWritten)
{
    if (backend() != Backend::Sqlite)
        GTEST_SKIP() << "only the embedded database stores date-times as text";
    db->connection().execute(
        "insert into Tracking (MsgID, PracID, QZServerReceiveTime, QZDeliveryTime, StatusTime, "
        "PatientDOB) values ('short', 'P', '2024-03-01 09:08:07', '1900-01-01', "
        "'2024-03-02T10:00:00', 'not a date')");
    criteria.mailboxChecked = true;
    run(criteria);
    ASSERT_EQ(model.rowCount(), 1);
    EXPECT_EQ(model.displayText(0, TrackField::QZServerReceiveTime), "01/03/2024 09:08:07");
    EXPECT_EQ(model.displayText(0, TrackField::Status), "Undeliverable");
    EXPECT_EQ(model.value(0, TrackField::StatusTime),
              QVariant(WallClock::of(QDate(2024, 3, 2), QTime(10, 0))));
    EXPECT_TRUE(model.value(0, TrackField::PatientDOB).isNull());
}

// Mended fault: a From or To time inside a daylight-saving gap gave "Set Active failed" and an empty
// grid, as the local value was invalid. Criteria and rows are wall-clock values under every TZ.
TEST_P(Search, FromAndToInsideAGapOrTheRepeatedHourSelectAsWritten)
{
    db->connection().execute("insert into Tracking (MsgID, Patient, QZServerReceiveTime) values "
                             "('before', 'Smith', '2024-03-31 01:10:00.000'), "
                             "('inside', 'Smith', '2024-03-31 01:40:00.000'), "
                             "('after', 'Smith', '2024-03-31 02:20:00.000'), "
                             "('midnight', 'Smith', '2017-10-15 00:30:00.000'), "
                             "('repeat1', 'Smith', '2024-10-27 01:10:00.000'), "
                             "('repeat2', 'Smith', '2024-10-27 01:50:00.000')");
    criteria.fromDateChecked = true;
    criteria.toDateChecked = true;
    criteria.fromDate = QDate(2024, 3, 31);
    criteria.fromTime = QTime(1, 30); // inside Europe/London's gap
    criteria.toDate = QDate(2024, 3, 31);
    criteria.toTime = QTime(2, 0);
    ASSERT_EQ(run(criteria).outcome, TrackSearch::Outcome::Opened);
    EXPECT_EQ(msgIds(), QStringList{"inside"});
    EXPECT_EQ(model.displayText(0, TrackField::QZServerReceiveTime), "31/03/2024 01:40:00");
    EXPECT_EQ(search->CriteriaText(), "From 2024-03-31 01:30:00,to 2024-03-31 02:00:00, ");

    criteria.fromDate = QDate(2017, 10, 15); // America/Sao_Paulo skipped this midnight
    criteria.fromTime = QTime(0, 0);
    criteria.toDate = QDate(2017, 10, 15);
    criteria.toTime = QTime(0, 45);
    ASSERT_EQ(run(criteria).outcome, TrackSearch::Outcome::Opened);
    EXPECT_EQ(msgIds(), QStringList{"midnight"});

    criteria.fromDate = QDate(2024, 10, 27); // the repeated autumn hour in Europe/London
    criteria.fromTime = QTime(1, 30);
    criteria.toDate = QDate(2024, 10, 27);
    criteria.toTime = QTime(2, 0);
    ASSERT_EQ(run(criteria).outcome, TrackSearch::Outcome::Opened);
    EXPECT_EQ(msgIds(), QStringList{"repeat2"});
    EXPECT_EQ(model.value(0, TrackField::QZServerReceiveTime),
              QVariant(WallClock::of(QDate(2024, 10, 27), QTime(1, 50))));
}

// Mended fault: PostgreSQL took a backslash as LIKE's escape character, so "%\" failed ("LIKE
// pattern must not end with escape character") and "a\b" found "ab". It is a plain character.
TEST_P(Search, ABackslashIsAPlainCharacterInEveryTextCriterion)
{
    db->insert({{"MsgID", "slash end"}, {"PracID", "P01\\"}, {"Patient", "a\\b"}, {"AddresseeDoc", "Dr \\ X"}});
    db->insert({{"MsgID", "no slash"}, {"PracID", "P01"}, {"Patient", "ab"}, {"AddresseeDoc", "Dr X"}});
    db->insert({{"MsgID", "percent"}, {"PracID", "P01%"}, {"Patient", "a%b"}, {"AddresseeDoc", "Dr %"}});

    SearchCriteria mailbox = criteria;
    mailbox.mailboxChecked = true;
    mailbox.mailboxText = "%\\"; // has a "%": taken as typed
    ASSERT_EQ(run(mailbox).outcome, TrackSearch::Outcome::Opened);
    EXPECT_EQ(msgIds(), QStringList{"slash end"});
    EXPECT_EQ(search->TrackCount(), 1);

    SearchCriteria patient = criteria;
    patient.nameFilterChecked = true;
    patient.nameFilterText = "a\\b";
    ASSERT_EQ(run(patient).outcome, TrackSearch::Outcome::Opened);
    EXPECT_EQ(msgIds(), QStringList{"slash end"});

    SearchCriteria addressee = criteria;
    addressee.addresseeChecked = true;
    addressee.addresseeText = "\\";
    ASSERT_EQ(run(addressee).outcome, TrackSearch::Outcome::Opened);
    EXPECT_EQ(msgIds(), QStringList{"slash end"});
    EXPECT_EQ(search->TrackCount(), 1);
}

// Mended fault: QZTSortOrder went into ORDER BY as it was stored, so a changed value ran as SQL
// (a sleeping subquery, a cast whose error names the role). Only the window's own orders are taken.
TEST_P(Search, ASavedSortOrderTheWindowNeverSetsGivesTheInitialOrderAndRunsNothing)
{
    TestFolder config;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, config.path());
    // Receive times run against the ids, so that the initial order shows.
    db->insert({{"MsgID", "A"}, {"Patient", "X"}, {"QZServerReceiveTime", DB::at(2024, 3, 3)}});
    db->insert({{"MsgID", "B"}, {"Patient", "X"}, {"QZServerReceiveTime", DB::at(2024, 3, 2)}});
    db->insert({{"MsgID", "C"}, {"Patient", "X"}, {"QZServerReceiveTime", DB::at(2024, 3, 1)}});
    QStringList injected{"MsgID", "MsgID desc", "Patient,PatientGiven,PatientDob,QZServerReceiveTime,Test ",
                         "patient,PatientGiven,PatientDob,QZServerReceiveTime,Test"};
    if (backend() == Backend::PostgreSql)
        injected << "(select pg_sleep(3))" << "cast(current_user as integer)" << "MsgID; select pg_sleep(3)";
    else
        injected << "abs(-9223372036854775808)" << "(select abs(-9223372036854775808) from sqlite_master)";
    criteria.nameFilterChecked = true;
    for (const QString &value : injected) {
        QSettings(QSettings::NativeFormat, QSettings::UserScope, "Tavisk", "RORuzureru")
            .setValue("QZTSortOrder", value);
        SearchCriteria restored = criteria;
        QString sortOrder;
        SearchSettingsStore().load().applyTo(restored, sortOrder, now);
        EXPECT_EQ(sortOrder, QString::fromLatin1(InitialSortOrder)) << value.toStdString();

        QElapsedTimer timer;
        timer.start();
        ASSERT_EQ(run(restored, sortOrder).outcome, TrackSearch::Outcome::Opened) << value.toStdString();
        EXPECT_EQ(msgIds(), (QStringList{"C", "B", "A"})) << value.toStdString();
        EXPECT_LT(timer.elapsed(), 2500) << value.toStdString();
    }
}

OVTRACK_ON_EVERY_BACKEND(Search);

} // namespace
