#include "tests/reports/ReportFixture.h"
#include "tests/support/TestFolder.h"
#include "viewer/reports/ReportOutput.h"

#include <QPrinter>

#include <gtest/gtest.h>

#include <stdexcept>

using namespace ReportFixture;

namespace {

TEST(ReportPdfFile, UnwritablePathIsNamedAndAnExistingFileIsKept)
{
    TestFolder folder;
    const ReportMemoryDataSource rows = trackRows({{QStringLiteral("SMITH John"), 3}});
    PreparedReport report(ReportKind::Search, rows);

    // A folder cannot be replaced by a file, whatever the user's rights.
    const QString blocked = folder.makeFolder(QStringLiteral("taken.pdf"));
    try {
        ReportOutput::writePdf(report.engine, blocked);
        FAIL() << "expected std::runtime_error";
    } catch (const std::runtime_error &error) {
        EXPECT_NE(QString::fromUtf8(error.what()).indexOf(QStringLiteral("taken.pdf")), -1) << error.what();
    }

    const QString inFile = folder.writeFile(QStringLiteral("plain"), "x") + QStringLiteral("/report.pdf");
    EXPECT_THROW(ReportOutput::writePdf(report.engine, inFile), std::runtime_error);

    const QString existing = folder.writeFile(QStringLiteral("old.pdf"), "old content");
    ReportOutput::writePdf(report.engine, existing);
    EXPECT_EQ(readPdf(existing).pages, 1);
}

TEST(ReportPreview, PageImageAtHalfSizeShowsBandsInTheirColours)
{
    const ReportMemoryDataSource rows = trackRows({{QStringLiteral("SMITH John"), 3}});
    PreparedReport report(ReportKind::Search, rows);
    const QImage image = ReportOutput::renderPage(report.engine, 1, 0.5, 96);
    // A4 landscape at 48 dpi.
    EXPECT_NEAR(image.width(), 561, 1);
    EXPECT_NEAR(image.height(), 397, 1);

    // The patient header band lies 5 + 7.9 mm down; its middle is sky blue outside any text.
    const double pixelsPerMm = 48 / 25.4;
    const QColor band = image.pixelColor(qRound(285 * pixelsPerMm), qRound((5 + 7.9 + 5) * pixelsPerMm));
    EXPECT_EQ(band, QColor(166, 202, 240));
    // The title prints dark pixels in the header's top left.
    int dark = 0;
    for (int x = 0; x < qRound(50 * pixelsPerMm); ++x) {
        for (int y = qRound(5 * pixelsPerMm); y < qRound(12 * pixelsPerMm); ++y)
            dark += qGray(image.pixel(x, y)) < 128 ? 1 : 0;
    }
    EXPECT_GT(dark, 50);

    EXPECT_THROW(ReportOutput::renderPage(report.engine, 2), std::out_of_range);
    EXPECT_THROW(ReportOutput::renderPage(report.engine, 0), std::out_of_range);
}

TEST(ReportPrinting, PrinterGetsTheLayoutsPaperAndTheChosenPageRange)
{
    TestFolder folder;
    const ReportMemoryDataSource rows = trackRows({{QStringLiteral("SMITH John"), 150}});
    PreparedReport report(ReportKind::Search, rows);
    ASSERT_GE(report.engine.pageCount(), 4);

    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(folder.filePath(QStringLiteral("printed.pdf")));
    printer.setFromTo(2, 3);
    QList<int> progress;
    ReportOutput::print(report.engine, printer, [&progress](int done, int) { progress.append(done); });

    const PdfDocument pdf = readPdf(folder.filePath(QStringLiteral("printed.pdf")));
    EXPECT_EQ(pdf.pages, 2);
    EXPECT_EQ(progress, (QList<int>{1, 2}));
    EXPECT_GT(pdf.pageSizePoints.width(), pdf.pageSizePoints.height());
    ASSERT_EQ(pdf.pageTexts.size(), 2);
    EXPECT_TRUE(pdf.pageTexts.at(0).contains(QStringLiteral("Page: 2")));
    EXPECT_TRUE(pdf.pageTexts.at(1).contains(QStringLiteral("Page: 3")));
}

} // namespace
