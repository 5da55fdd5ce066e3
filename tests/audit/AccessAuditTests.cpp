#include "shared/tracking/DbStatement.h"
#include "viewer/audit/AccessAudit.h"
#include "viewer/audit/AuditCsv.h"

#include "tests/audit/AuditRows.h"
#include "tests/support/TestFolder.h"
#include "tests/support/TrackingTestDatabase.h"
#include "tests/viewergui/TrackFormFixture.h"

#include <QAction>
#include <QBuffer>
#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>

namespace {

using DB = TrackingTestDatabase;

// A window over M1 (stored content), M2 (delivered) and M3 (undeliverable), all for Smith.
class AuditedCommands : public TrackFormBackendTest
{
protected:
    void SetUp() override
    {
        TrackFormBackendTest::SetUp();
        if (IsSkipped())
            return;
        db = std::make_unique<DB>(app.path(), "tracking.db", true, backend());
        for (const char *id : {"M1", "M2", "M3"})
            db->insert(
                {{"MsgID", id},
                 {"Patient", "Smith"},
                 {"PracID", "P01"},
                 {"Filename", QString(id) + ".hl7"},
                 {"QZServerReceiveTime", DB::at(2024, 3, 1, 9)},
                 {"QZDeliveryTime", QString(id) == "M3" ? DB::at(1900, 1, 1) : DB::at(2024, 3, 1, 10)}});
        DbStatement(db->connection(), db->connection().dialect().createContentSql()).execute();
        DbStatement(db->connection(), "insert into HM_CONTENT (MsgID, HMData) values ('M1', 'MSH|content')")
            .execute();
        form = start({app.makeFolder("server"), "", db->connectionString()});
        child<QCheckBox>(*form, "NameFilterCheck")->setChecked(true);
        child<QLineEdit>(*form, "rsNameFilterEdit")->setText("Smith");
        child<QPushButton>(*form, "PerformQueryButton")->click();
        ASSERT_EQ(form->trackModel().rowCount(), 3);
    }

    std::unique_ptr<DB> db;
    std::unique_ptr<TQZTrackForm> form;
};

TEST_P(AuditedCommands, StartUpCreatesTheTableAndEveryCommandLeavesItsRow)
{
    const QString criteria = form->trackSearch().CriteriaText();
    ASSERT_TRUE(criteria.contains("Smith")) << criteria.toStdString();
    // Mended fault: a search showed patient rows without a trace.
    EXPECT_EQ(auditRows(db->connection()), QStringList{auditRow("Search", criteria, "3 rows found")});

    makeCurrent(*form, "M1");
    child<QPushButton>(*form, "DisplayResultButton")->click();
    child<QAction>(*form, "OpenMessage1")->trigger();
    emit form->grid()->doubleClicked(form->grid()->currentIndex());
    EXPECT_EQ(launcher->opened.size(), 3);

    makeCurrent(*form, "M3");
    child<QAction>(*form, "agasManaged1")->trigger();
    form->runCommand([&] { form->exportCsvTo(app.filePath("out.csv")); });
    form->ReportButtonClick();
    form->saveReportPdfTo(app.filePath("report.pdf"));
    form->UndeliveredResults1Click();
    form->saveReportPdfTo(app.filePath("summary.pdf"));
    EXPECT_TRUE(boxes->shown.empty()) << boxes->texts().join('|').toStdString();

    EXPECT_EQ(auditRows(db->connection()),
              QStringList({auditRow("Search", criteria, "3 rows found"), auditRow("Display Result", "M1"),
                           auditRow("Display Result", "M1"), auditRow("Display Result", "M1"),
                           auditRow("Tag as Managed", "M3", "1 rows changed"),
                           auditRow("Search", criteria, "3 rows found"),
                           auditRow("Export CSV", criteria, "3 rows written"),
                           auditRow("Report PDF", criteria), auditRow("Report PDF", "Undelivered Results")}));
    DbStatement times(db->connection(), "select count(*) as n from OVTrack_Audit where AuditTime is null");
    EXPECT_EQ(times.open().integer(0, "n"), 0);
}

// Mended fault: tag and export wrote their row before acting, so a failed one still read as done.
TEST_P(AuditedCommands, AFailedTagOrExportLeavesARowSayingItFailed)
{
    refuseTrackingUpdates(db->connection());
    makeCurrent(*form, "M3");
    child<QAction>(*form, "agasManaged1")->trigger();
    EXPECT_EQ(db->textOf("M3", "QZDeliveryTime"), "1900-01-01 00:00:00.000");
    const QString missing = app.filePath("no/such/folder/out.csv");
    form->runCommand([&] { form->exportCsvTo(missing); });
    EXPECT_FALSE(QFile::exists(missing));

    ASSERT_EQ(boxes->shown.size(), 2u);
    EXPECT_TRUE(boxes->shown[0].text.contains("Tracking is read-only")) << boxes->shown[0].text.toStdString();
    EXPECT_TRUE(boxes->shown[1].text.startsWith("Cannot write " + missing))
        << boxes->shown[1].text.toStdString();
    const QStringList rows = auditRows(db->connection());
    ASSERT_EQ(rows.size(), 3); // the search's, then one for each failure
    const QString you = auditRow("", "").section('|', 3);
    EXPECT_TRUE(rows[1].startsWith("Tag as Managed|M3|failed: ")) << rows[1].toStdString();
    EXPECT_TRUE(rows[1].contains("Tracking is read-only")) << rows[1].toStdString();
    EXPECT_TRUE(rows[1].endsWith(you)) << rows[1].toStdString();
    const QString criteria = form->trackSearch().CriteriaText();
    EXPECT_TRUE(rows[2].startsWith("Export CSV|" + criteria + "|failed: Cannot write " + missing))
        << rows[2].toStdString();
}

TEST_P(AuditedCommands, ARefusedAuditWriteIsShownAndTheCommandDoesNotRun)
{
    refuseAuditWrites(db->connection());
    const QStringList before = auditRows(db->connection());

    makeCurrent(*form, "M1");
    child<QAction>(*form, "OpenMessage1")->trigger();
    EXPECT_TRUE(launcher->opened.isEmpty());

    makeCurrent(*form, "M3");
    child<QAction>(*form, "agasManaged1")->trigger();
    EXPECT_EQ(db->textOf("M3", "QZDeliveryTime"), "1900-01-01 00:00:00.000");

    form->runCommand([&] { form->exportCsvTo(app.filePath("out.csv")); });
    EXPECT_FALSE(app.exists("out.csv"));

    // A search whose row cannot be written shows nothing.
    child<QPushButton>(*form, "PerformQueryButton")->click();
    EXPECT_EQ(form->trackModel().rowCount(), 0);

    ASSERT_EQ(boxes->shown.size(), 4u);
    for (const MessageBoxRequest &box : boxes->shown) {
        EXPECT_TRUE(
            box.text.startsWith("The access audit could not be written, so the action was not carried out."))
            << box.text.toStdString();
        EXPECT_TRUE(box.text.contains("OVTrack_Audit is read-only")) << box.text.toStdString();
        EXPECT_EQ(box.icon, QMessageBox::Critical);
    }
    EXPECT_EQ(auditRows(db->connection()), before);
}

OVTRACK_ON_EVERY_BACKEND(AuditedCommands);

using AuditCreateBlank = TrackFormBackendTest;

TEST_P(AuditCreateBlank, CreatesTheAuditTableBesideTracking)
{
    DB empty(app.path(), "empty.db", false, backend());
    auto form = start({"", "", empty.connectionString()});
    DbStatement before(empty.connection(), empty.connection().dialect().tableExistsSql("OVTrack_Audit"));
    EXPECT_TRUE(before.open().isEmpty());
    boxes->shown.clear();
    child<QAction>(*form, "CreateblankTrackTable1")->trigger();
    EXPECT_TRUE(boxes->shown.empty()) << boxes->texts().join('|').toStdString();
    DbStatement after(empty.connection(), empty.connection().dialect().tableExistsSql("OVTrack_Audit"));
    EXPECT_EQ(after.open().rowCount(), 1);
}

OVTRACK_ON_EVERY_BACKEND(AuditCreateBlank);

using AuditTableUpgrade = BackendTest;

// A table written before outcomes were recorded: exported as it is, then given the column.
TEST_P(AuditTableUpgrade, ATableWithoutOutcomesGetsTheColumnAndKeepsItsRows)
{
    TestFolder folder;
    DB db(folder.path(), "tracking.db", true, backend());
    db.connection().execute(db.connection().dialect().createAuditSql());
    db.connection().execute("ALTER TABLE OVTrack_Audit DROP COLUMN Outcome");
    db.connection().execute(
        "insert into OVTrack_Audit (AuditTime, UserName, HostName, Action, Subject) values "
        "('2026-03-01 08:00:00.000', 'ann', 'desk1', 'Display Result', 'M1')");
    QBuffer csv;
    csv.open(QIODevice::WriteOnly);
    EXPECT_EQ(writeAuditCsv(db.connection(), {}, csv), 1);
    EXPECT_EQ(QString::fromUtf8(csv.data()), "Time,User,Host,Action,Subject,Outcome\r\n"
                                             "2026-03-01 08:00:00,ann,desk1,Display Result,M1,\r\n");

    AccessAudit audit(db.connection(), AuditIdentity::ofThisProcess());
    audit.ensureTable();
    audit.record(AuditAction::Search, "Patient \"Smith\"", "2 rows found");
    EXPECT_EQ(auditRows(db.connection()),
              QStringList(
                  {"Display Result|M1||ann|desk1", auditRow("Search", "Patient \"Smith\"", "2 rows found")}));
}

OVTRACK_ON_EVERY_BACKEND(AuditTableUpgrade);

} // namespace
