#include "tests/reports/ReportFixture.h"
#include "tests/support/TestFolder.h"
#include "viewer/reports/ReportOutput.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

using namespace ReportFixture;

namespace {

const QString Criteria = QStringLiteral("Patient like 'SM%' and From Date >= 2026-11-09 00:00:00");

PdfDocument writeAndRead(ReportKind kind, const ReportDataSource &rows, const TestFolder &folder,
                         int *enginePages = nullptr)
{
    PreparedReport report(kind, rows, Criteria);
    const QString path = folder.filePath(QStringLiteral("report.pdf"));
    ReportOutput::writePdf(report.engine, path);
    if (enginePages)
        *enginePages = report.engine.pageCount();
    return readPdf(path);
}

ReportMemoryDataSource summaryRows(int practices)
{
    ReportMemoryDataSource rows(ReportLayouts::undeliveredSummaryFields());
    for (int i = 0; i < practices; ++i) {
        rows.appendRow({QStringLiteral("PRAC%1").arg(i, 3, 10, QLatin1Char('0')), "1", "0", "2", "0", "7",
                        "10", i == 0 ? QString() : QStringLiteral("0%1 Dec 2026 10:00").arg(1 + i % 9)});
    }
    return rows;
}

ReportMemoryDataSource rowsFor(ReportKind kind, int count)
{
    if (kind == ReportKind::Undelivered)
        return summaryRows(count);
    return trackRows({{QStringLiteral("SMITH John"), count}});
}

// The lines of a page that hold text.
QStringList lines(const QString &pageText)
{
    QStringList result;
    for (const QString &line : pageText.split(QLatin1Char('\n'))) {
        if (!line.trimmed().isEmpty())
            result.append(line.trimmed());
    }
    return result;
}

struct PaperCase
{
    ReportKind kind;
    double widthPoints;
    double heightPoints;
};

void PrintTo(const PaperCase &value, std::ostream *out)
{
    *out << kindName(value.kind);
}

class ReportPaper : public ::testing::TestWithParam<PaperCase>
{
};

TEST_P(ReportPaper, PdfHasTheLayoutsPaperAndOrientation)
{
    TestFolder folder;
    const ReportMemoryDataSource rows = rowsFor(GetParam().kind, 3);
    const PdfDocument pdf = writeAndRead(GetParam().kind, rows, folder);
    EXPECT_EQ(pdf.pages, 1);
    EXPECT_NEAR(pdf.pageSizePoints.width(), GetParam().widthPoints, 1.0);
    EXPECT_NEAR(pdf.pageSizePoints.height(), GetParam().heightPoints, 1.0);
}

INSTANTIATE_TEST_SUITE_P(Reports, ReportPaper,
                         ::testing::Values(PaperCase{ReportKind::Search, 841.9, 595.3},
                                           PaperCase{ReportKind::Practice, 841.9, 595.3},
                                           PaperCase{ReportKind::Undelivered, 595.3, 841.9}),
                         [](const auto &info) { return kindName(info.param.kind); });

TEST(ReportPdf, TrackReportsShowTitleAndCriteriaOnEveryPage)
{
    TestFolder folder;
    for (ReportKind kind : {ReportKind::Search, ReportKind::Practice}) {
        const ReportMemoryDataSource rows = trackRows({{QStringLiteral("SMITH John"), 80}});
        const PdfDocument pdf = writeAndRead(kind, rows, folder);
        ASSERT_GE(pdf.pages, 2);
        for (const QString &page : pdf.pageTexts) {
            const QString first = lines(page).value(0);
            EXPECT_TRUE(first.startsWith(QStringLiteral("Orvane Tracking Report"))) << first.toStdString();
            EXPECT_TRUE(first.contains(QStringLiteral("Criteria:"))) << first.toStdString();
            EXPECT_TRUE(first.endsWith(Criteria)) << first.toStdString();
        }
    }
}

TEST(ReportPdf, SummaryShowsTitleCaptionsAndCounts)
{
    TestFolder folder;
    const ReportMemoryDataSource rows = summaryRows(3);
    const PdfDocument pdf = writeAndRead(ReportKind::Undelivered, rows, folder);
    ASSERT_EQ(pdf.pages, 1);
    const QStringList text = lines(pdf.pageTexts.first());
    EXPECT_EQ(text.value(0), QStringLiteral("Orvane - Undelivered Results Summary"));
    EXPECT_EQ(text.value(1), QStringLiteral("Number of Results Undelivered since ..."));
    EXPECT_TRUE(
        QRegularExpression(QStringLiteral("^Practice Name\\s+Today\\s+Today -1\\s+Today -2\\s+Today - 3\\s+"
                                          "3\\+ Days\\s+Total Undelivered\\s+Last Result Delivery$"))
            .match(text.value(2))
            .hasMatch())
        << text.value(2).toStdString();
    // The first practice has no delivery at all: its line ends with the total.
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^PRAC000\\s+1\\s+0\\s+2\\s+0\\s+7\\s+10$"))
                    .match(text.value(3))
                    .hasMatch())
        << text.value(3).toStdString();
    EXPECT_TRUE(
        QRegularExpression(QStringLiteral("^PRAC001\\s+1\\s+0\\s+2\\s+0\\s+7\\s+10\\s+02 Dec 2026 10:00$"))
            .match(text.value(4))
            .hasMatch())
        << text.value(4).toStdString();
}

class ReportFooter : public ::testing::TestWithParam<ReportKind>
{
};

TEST_P(ReportFooter, EveryPageShowsItsNumberAndTheTrueCount)
{
    TestFolder folder;
    const ReportMemoryDataSource rows = rowsFor(GetParam(), 150);
    int enginePages = 0;
    const PdfDocument pdf = writeAndRead(GetParam(), rows, folder, &enginePages);
    ASSERT_GE(pdf.pages, 3);
    ASSERT_EQ(pdf.pages, enginePages);
    ASSERT_EQ(pdf.pageTexts.size(), pdf.pages);
    for (int page = 1; page <= pdf.pages; ++page) {
        const QString last = lines(pdf.pageTexts.at(page - 1)).last();
        const QRegularExpression footer(
            QStringLiteral("^Printed: \\d\\d/\\d\\d/\\d{4} \\d\\d:\\d\\d:\\d\\d\\s+Page: %1\\s+of %2$")
                .arg(page)
                .arg(pdf.pages));
        EXPECT_TRUE(footer.match(last).hasMatch()) << "page " << page << ": " << last.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(Reports, ReportFooter,
                         ::testing::Values(ReportKind::Search, ReportKind::Practice, ReportKind::Undelivered),
                         [](const auto &info) { return kindName(info.param); });

TEST_P(ReportFooter, EmptyResultPrintsOnePageWithHeaderAndFooterOnly)
{
    TestFolder folder;
    const ReportMemoryDataSource rows = rowsFor(GetParam(), 0);
    const PdfDocument pdf = writeAndRead(GetParam(), rows, folder);
    ASSERT_EQ(pdf.pages, 1);
    const QStringList text = lines(pdf.pageTexts.first());
    EXPECT_TRUE(text.first().startsWith(QStringLiteral("Orvane"))) << text.first().toStdString();
    EXPECT_TRUE(QRegularExpression(QStringLiteral("Page: 1\\s+of 1$")).match(text.last()).hasMatch())
        << text.last().toStdString();
    const int headerLines = GetParam() == ReportKind::Undelivered ? 3 : 1;
    EXPECT_EQ(text.size(), headerLines + 1) << pdf.pageTexts.first().toStdString();
}

TEST(ReportPdf, PatientWhoseRowsRunOnGetsTheGroupHeaderAgainAtTheTopOfTheNextPage)
{
    TestFolder folder;
    const ReportMemoryDataSource rows = trackRows({{QStringLiteral("ADAMS Ann"), 5},
                                                   {QStringLiteral("BROWN Bob"), 40},
                                                   {QStringLiteral("CLARK Cy"), 2}});
    const PdfDocument pdf = writeAndRead(ReportKind::Search, rows, folder);
    ASSERT_EQ(pdf.pages, 2);

    const QStringList second = lines(pdf.pageTexts.at(1));
    ASSERT_GE(second.size(), 4);
    EXPECT_TRUE(second.at(1).startsWith(QStringLiteral("BROWN Bob"))) << second.at(1).toStdString();
    EXPECT_TRUE(second.at(1).contains(QStringLiteral("28/02/1957"))) << second.at(1).toStdString();
    EXPECT_TRUE(second.at(2).startsWith(QStringLiteral("Lab Ref"))) << second.at(2).toStdString();
    EXPECT_TRUE(second.at(3).startsWith(QStringLiteral("LAB"))) << second.at(3).toStdString();
    EXPECT_EQ(pdf.pageTexts.at(1).count(QStringLiteral("BROWN Bob")), 1);
    EXPECT_EQ(pdf.pageTexts.at(1).count(QStringLiteral("CLARK Cy")), 1);
    EXPECT_EQ(pdf.pageTexts.at(0).count(QStringLiteral("CLARK Cy")), 0);

    // Every row prints exactly once over both pages.
    const QString all = pdf.pageTexts.join(QString());
    for (int row = 0; row < rows.rowCount(); ++row)
        EXPECT_EQ(all.count(QRegularExpression(QStringLiteral("\\bLAB%1\\b").arg(row))), 1) << row;
}

TEST(ReportPdf, TextThatDoesNotFitIsCutAtWholeCharactersAndWholeLines)
{
    TestFolder folder;
    ReportMemoryDataSource rows(trackFields());
    const QString longTest =
        QStringLiteral("Thyroid function tests, Ferritin, Vitamin B12 and folate, Lipid profile");
    rows.appendRow({"Waiting 08/12/2026 16:40:11", "ABCDEFGHIJKLMNOPQRSTUVWXYZ", "f.hl7", "LAB1", longTest,
                    "01/12/2026", "Dr A", "Dr B", "SMITH John", "28/02/1957", "1 High Street"});
    const PdfDocument pdf = writeAndRead(ReportKind::Search, rows, folder);
    const QString detail = lines(pdf.pageTexts.first()).value(3);
    ASSERT_TRUE(detail.startsWith(QStringLiteral("LAB1"))) << detail.toStdString();
    // The practice box (15.6 mm) holds a few whole letters of the id and nothing after them.
    const QRegularExpressionMatch id =
        QRegularExpression(QStringLiteral("\\s(ABCDE[A-Z]*)\\s")).match(detail);
    ASSERT_TRUE(id.hasMatch()) << detail.toStdString();
    EXPECT_LT(id.captured(1).size(), 26);
    // The test names wrap at words; only the first line fits the band.
    EXPECT_TRUE(detail.contains(QStringLiteral("Thyroid function tests,"))) << detail.toStdString();
    EXPECT_FALSE(pdf.pageTexts.first().contains(QStringLiteral("Lipid")))
        << pdf.pageTexts.first().toStdString();
}

TEST(ReportPdf, PracticeReportGroupsByPractice)
{
    TestFolder folder;
    const ReportMemoryDataSource rows =
        trackRows({{QStringLiteral("ADAMS Ann"), 2, QStringLiteral("NORTH")},
                   {QStringLiteral("BROWN Bob"), 3, QStringLiteral("SOUTH")}});
    const PdfDocument pdf = writeAndRead(ReportKind::Practice, rows, folder);
    ASSERT_EQ(pdf.pages, 1);
    const QStringList text = lines(pdf.pageTexts.first());
    EXPECT_TRUE(
        QRegularExpression(QStringLiteral("^Practice Name\\s+NORTH$")).match(text.value(1)).hasMatch())
        << text.value(1).toStdString();
    EXPECT_TRUE(text.value(2).startsWith(QStringLiteral("Status"))) << text.value(2).toStdString();
    EXPECT_TRUE(
        QRegularExpression(QStringLiteral("^Practice Name\\s+SOUTH$")).match(text.value(5)).hasMatch())
        << text.value(5).toStdString();
}

} // namespace
