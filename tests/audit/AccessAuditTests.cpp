#include "shared/DbStatement.h"

#include "tests/audit/AuditRows.h"
#include "tests/support/TrackingTestDatabase.h"
#include "tests/viewergui/TrackFormFixture.h"

#include <QAction>
#include <QCheckBox>
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
    EXPECT_TRUE(auditRows(db->connection()).isEmpty());
    const QString criteria = form->trackSearch().CriteriaText();
    ASSERT_TRUE(criteria.contains("Smith")) << criteria.toStdString();

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
              QStringList({auditRow("Display Result", "M1"), auditRow("Display Result", "M1"),
                           auditRow("Display Result", "M1"), auditRow("Tag as Managed", "M3"),
                           auditRow("Export CSV", criteria), auditRow("Report PDF", criteria),
                           auditRow("Report PDF", "Undelivered Results")}));
    DbStatement times(db->connection(), "select count(*) as n from OVTrack_Audit where AuditTime is null");
    EXPECT_EQ(times.open().integer(0, "n"), 0);
}

TEST_P(AuditedCommands, ARefusedAuditWriteIsShownAndTheCommandDoesNotRun)
{
    refuseAuditWrites(db->connection());

    makeCurrent(*form, "M1");
    child<QAction>(*form, "OpenMessage1")->trigger();
    EXPECT_TRUE(launcher->opened.isEmpty());

    makeCurrent(*form, "M3");
    child<QAction>(*form, "agasManaged1")->trigger();
    EXPECT_EQ(db->textOf("M3", "QZDeliveryTime"), "1900-01-01 00:00:00.000");

    form->runCommand([&] { form->exportCsvTo(app.filePath("out.csv")); });
    EXPECT_FALSE(app.exists("out.csv"));

    ASSERT_EQ(boxes->shown.size(), 3u);
    for (const MessageBoxRequest &box : boxes->shown) {
        EXPECT_TRUE(
            box.text.startsWith("The access audit could not be written, so the action was not carried out."))
            << box.text.toStdString();
        EXPECT_TRUE(box.text.contains("audit store is read-only")) << box.text.toStdString();
        EXPECT_EQ(box.icon, QMessageBox::Critical);
    }
    EXPECT_TRUE(auditRows(db->connection()).isEmpty());
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

} // namespace
