#include "viewer/audit/AccessAudit.h"

#include "shared/tracking/DbStatement.h"

#include "tests/audit/AuditRows.h"
#include "tests/viewergui/ViewerProcessFixture.h"

namespace {

// The program without a window: its exports are audited as the window's are.
class HeadlessAudit : public ViewerProcess
{
protected:
    void SetUp() override
    {
        ViewerProcess::SetUp();
        if (IsSkipped())
            return;
        SavedSearch saved;
        saved.nameFilter = "smith";
        saved.nameFilterEnabled = true;
        saveCriteria(saved);
    }

    ViewerRun runHere(const QStringList &arguments)
    {
        return runViewer(QStringList{"", "", database->connectionString()} + arguments, config.path());
    }
};

TEST_P(HeadlessAudit, ExportsCreateTheTableAndLeaveTheirRows)
{
    const ViewerRun csv = runHere({"--export-csv", folder.filePath("out.csv")});
    EXPECT_EQ(csv.exitCode, 0) << csv.errors.toStdString();
    const ViewerRun summary = runHere({"--summary-pdf", folder.filePath("summary.pdf")});
    EXPECT_EQ(summary.exitCode, 0) << summary.errors.toStdString();

    const QStringList rows = auditRows(database->connection());
    ASSERT_EQ(rows.size(), 2);
    const QString you = auditRow("", "").section('|', 2);
    EXPECT_TRUE(rows[0].startsWith("Export CSV|")) << rows[0].toStdString();
    EXPECT_TRUE(rows[0].contains("smith", Qt::CaseInsensitive)) << "the search's criteria text";
    EXPECT_TRUE(rows[0].endsWith(you)) << rows[0].toStdString();
    EXPECT_EQ(rows[0].section('|', 2, 2), "2 rows written");
    EXPECT_EQ(rows[1], auditRow("Summary PDF", "Undelivered Results"));
}

// Mended fault: an export that failed left no trace; one that worked did not say what it wrote.
TEST_P(HeadlessAudit, AFailedExportLeavesARowSayingItFailed)
{
    const QString missing = folder.filePath("no/such/folder/out.csv");
    const ViewerRun run = runHere({"--export-csv", missing});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.errors.startsWith("Cannot write " + missing)) << run.errors.toStdString();
    const QStringList rows = auditRows(database->connection());
    ASSERT_EQ(rows.size(), 1);
    EXPECT_TRUE(rows[0].startsWith("Export CSV|")) << rows[0].toStdString();
    EXPECT_EQ(rows[0].section('|', 2, 2).left(22 + missing.size()), "failed: Cannot write " + missing + ":");
}

TEST_P(HeadlessAudit, ARefusedAuditWriteFailsTheRunAndWritesNoFile)
{
    AccessAudit(database->connection(), AuditIdentity::ofThisProcess()).ensureTable();
    refuseAuditWrites(database->connection());
    const ViewerRun run = runHere({"--export-csv", folder.filePath("out.csv")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.errors.contains("The access audit could not be written")) << run.errors.toStdString();
    EXPECT_FALSE(folder.exists("out.csv"));
}

TEST_P(HeadlessAudit, AuditCsvExportsTheRowsOfTheChosenDays)
{
    AccessAudit(database->connection(), AuditIdentity::ofThisProcess()).ensureTable();
    const char *rows[][3] = {{"2026-03-01 08:00:00.000", "Display Result", "M1"},
                             {"2026-03-02 23:59:59.000", "Export CSV", "Patient: \"O'Neil, A\""},
                             {"2026-03-03 00:00:00.000", "Tag as Managed", "M3"}};
    for (const auto &row : rows) {
        DbStatement insert(database->connection(),
                           "insert into OVTrack_Audit (AuditTime, UserName, HostName, Action, "
                           "Subject) values (:T, 'ann', 'desk1', :A, :S)");
        insert.bind("T", ::ParamType::Text, row[0]);
        insert.bind("A", ::ParamType::Text, row[1]);
        insert.bind("S", ::ParamType::Text, row[2]);
        insert.execute();
    }
    const ViewerRun run =
        runHere({"--audit-csv", folder.filePath("audit.csv"), "--from", "2026-03-02", "--to", "2026-03-02"});
    EXPECT_EQ(run.exitCode, 0) << run.errors.toStdString();
    EXPECT_EQ(QString::fromUtf8(folder.readFile("audit.csv")),
              "Time,User,Host,Action,Subject,Outcome\r\n"
              "2026-03-02 23:59:59,ann,desk1,Export CSV,\"Patient: \"\"O'Neil, A\"\"\",\r\n");

    const ViewerRun all = runHere({"--audit-csv", folder.filePath("all.csv")});
    EXPECT_EQ(all.exitCode, 0) << all.errors.toStdString();
    EXPECT_EQ(folder.readFile("all.csv").count("\r\n"), 4);

    const ViewerRun bad = runHere({"--audit-csv", folder.filePath("bad.csv"), "--from", "March"});
    EXPECT_EQ(bad.exitCode, 3);
    EXPECT_TRUE(bad.errors.contains("--from needs a date")) << bad.errors.toStdString();
}

OVTRACK_ON_EVERY_BACKEND(HeadlessAudit);

} // namespace
