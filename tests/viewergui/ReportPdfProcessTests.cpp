#include "tests/viewergui/PdfText.h"
#include "tests/viewergui/ViewerProcessFixture.h"

#include "viewer/reports/ReportChoice.h"
#include "viewer/app/ViewerRunValues.h"

#include <QRegularExpression>

namespace {

using ReportPdfProcess = ViewerProcess;

TEST_P(ReportPdfProcess, SearchReportOfTheSavedSearch)
{
    SavedSearch saved;
    saved.nameFilter = "smith";
    saved.nameFilterEnabled = true;
    saveCriteria(saved);
    const QString out = folder.filePath("report.pdf");
    ASSERT_EQ(run({"", "", database->connectionString(), "--report-pdf", out}), 0) << errors.toStdString();
    const QString text = pdfText(out);
    EXPECT_TRUE(text.contains("Orvane Tracking Report")) << text.toStdString();
    EXPECT_TRUE(text.contains(QRegularExpression("Criteria: +Patient"))) << text.toStdString();
    EXPECT_TRUE(text.contains("Smith Ann")) << text.toStdString();
    EXPECT_FALSE(text.contains("Jones")) << text.toStdString();
    EXPECT_FALSE(text.contains("Practice Name")) << text.toStdString();
    EXPECT_TRUE(text.contains(QRegularExpression("Page: +1 +of +1"))) << text.toStdString();
}

TEST_P(ReportPdfProcess, PracticeOrderGivesThePracticeReport)
{
    SavedSearch saved;
    saved.nameFilter = "smith";
    saved.nameFilterEnabled = true;
    saved.sortOrder = ReportChoice::PracticeSortOrder;
    saveCriteria(saved);
    const QString out = folder.filePath("report.pdf");
    ASSERT_EQ(run({"", "", database->connectionString(), "--report-pdf", out}), 0) << errors.toStdString();
    EXPECT_TRUE(pdfText(out).contains("Practice Name"));
}

TEST_P(ReportPdfProcess, SummaryCountsWaitingMessagesPerPractice)
{
    const QString out = folder.filePath("summary.pdf");
    ASSERT_EQ(run({"", "", database->connectionString(), "--summary-pdf", out}), 0) << errors.toStdString();
    const QString text = pdfText(out);
    EXPECT_TRUE(text.contains("Orvane - Undelivered Results Summary")) << text.toStdString();
    // M2 waits; M1 was delivered and M3 is undeliverable, so P02 has no line.
    EXPECT_TRUE(text.contains(QRegularExpression("P01 +0 +0 +0 +0 +1 +1 +01 Jan 2001 00:00")))
        << text.toStdString();
    EXPECT_FALSE(text.contains("P02")) << text.toStdString();
    EXPECT_TRUE(text.contains(QRegularExpression("Page: +1 +of +1"))) << text.toStdString();
}

TEST_P(ReportPdfProcess, FailuresExitOneWithTheReasonAndWriteNothing)
{
    const QString out = folder.filePath("report.pdf");
    EXPECT_EQ(run({"", "", database->connectionString(), "--report-pdf", out}), 1);
    EXPECT_TRUE(errors.contains("No criteria Selected")) << errors.toStdString();
    EXPECT_EQ(
        run({"", "", "Provider=SQLite;Data Source=" + folder.filePath("none/x.db"), "--summary-pdf", out}),
        1);
    EXPECT_FALSE(errors.trimmed().isEmpty());
    EXPECT_FALSE(folder.exists("report.pdf"));
}

TEST(ReportPdfCommandLine, TakesOneOutputWithItsFile)
{
    const ViewerCommandLine report = ViewerCommandLine::parse({"/mail", "--report-pdf", "r.pdf"});
    EXPECT_EQ(report.reportPdfPath, "r.pdf");
    EXPECT_EQ(report.positional, QStringList{"/mail"});
    EXPECT_TRUE(report.isHeadless());
    EXPECT_EQ(ViewerCommandLine::parse({"--summary-pdf", "s.pdf"}).summaryPdfPath, "s.pdf");

    const QStringList refused[] = {
        {"--summary-pdf"}, {"--report-pdf", ""}, {"--report-pdf", "a", "--export-csv", "b"}};
    for (const QStringList &arguments : refused)
        EXPECT_FALSE(ViewerCommandLine::parse(arguments).error.isEmpty())
            << arguments.join(' ').toStdString();
}

OVTRACK_ON_EVERY_BACKEND(ReportPdfProcess);

} // namespace
