#include "tools/report-samples/ReportSampleRows.h"
#include "viewer/reports/ReportEngine.h"
#include "viewer/reports/ReportLayouts.h"
#include "viewer/reports/ReportOutput.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QPainter>
#include <QPdfWriter>
#include <QProcess>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <cstdio>
#include <cstring>

// Prepares the search report over invented rows and writes it to PDF, then draws the same field
// texts with plain QPainter calls into the same kind of PDF writer as the baseline. Each row count
// runs in a child process of its own, so that its peak memory (ru_maxrss) is its own.
// Usage: bench_reports [ROWS]   (default 10000; a tenth of it runs too, to show memory per page)
namespace {

constexpr int RowsPerPatient = 3;
constexpr double MegabytesPerKilobyte = 1.0 / 1024.0;

double peakMegabytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) * MegabytesPerKilobyte;
}

// The same texts the detail bands print, at fixed places, a page every `rowsPerPage` rows.
double baselineSeconds(const ReportDataSource &rows, int rowsPerPage, const QString &path)
{
    const QStringList fields{"LabId",         "Test",   "RequestDate", "AddresseeDoc",
                             "RequestingDoc", "PracID", "Status"};
    const QList<double> lefts{7.1, 26.2, 74.8, 98.1, 151.1, 212.4, 229.4};
    QList<int> indices;
    for (const QString &field : fields)
        indices.append(rows.fieldIndex(field));

    QElapsedTimer timer;
    timer.start();
    QPdfWriter writer(path);
    writer.setResolution(1200);
    writer.setPageLayout(ReportLayouts::QuickRep1().pageLayout());
    QPainter painter(&writer);
    QFont font(QStringLiteral("Liberation Sans"));
    font.setPointSizeF(8);
    painter.setFont(font);
    const double dotsPerMm = 1200 / 25.4;
    for (int row = 0; row < rows.rowCount(); ++row) {
        if (row > 0 && row % rowsPerPage == 0)
            writer.newPage();
        const double top = (20 + 5.0 * (row % rowsPerPage)) * dotsPerMm;
        for (int f = 0; f < indices.size(); ++f)
            painter.drawText(QPointF(lefts[f] * dotsPerMm, top), rows.displayText(row, indices[f]));
    }
    painter.end();
    return timer.elapsed() / 1000.0;
}

int runChild(int rowCount)
{
    QTemporaryDir folder;
    const ReportMemoryDataSource rows = ReportSampleRows::trackRows(rowCount, RowsPerPatient, false);
    const double rowsMegabytes = peakMegabytes();

    QElapsedTimer timer;
    timer.start();
    ReportEngine engine(ReportLayouts::QuickRep1(), rows);
    engine.setBeforePrint(ReportBandKind::PageFooter, ReportLayouts::pageFooterBeforePrint());
    const int pages = engine.prepare();
    const double prepareSeconds = timer.elapsed() / 1000.0;
    timer.restart();
    ReportOutput::writePdf(engine, folder.filePath(QStringLiteral("report.pdf")));
    const double writeSeconds = timer.elapsed() / 1000.0;
    const double peak = peakMegabytes();

    const int rowsPerPage = (rowCount + pages - 1) / std::max(pages, 1);
    const double baseline =
        baselineSeconds(rows, rowsPerPage, folder.filePath(QStringLiteral("baseline.pdf")));
    std::printf("%d %d %.3f %.3f %.3f %.1f %.1f\n", rowCount, pages, prepareSeconds, writeSeconds, baseline,
                rowsMegabytes, peak);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc == 3 && std::strcmp(argv[1], "--child") == 0)
        return runChild(std::atoi(argv[2]));

    const int rowCount = argc > 1 ? std::atoi(argv[1]) : 10000;
    std::printf("%8s %6s %10s %10s %10s %10s %12s %12s %12s\n", "rows", "pages", "prepare s", "pdf s",
                "pages/s", "baseline s", "ratio", "rows MB", "peak MB");
    for (int rows : {rowCount / 10, rowCount}) {
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--child"), QString::number(rows)});
        child.waitForFinished(-1);
        const QStringList values = QString::fromUtf8(child.readAllStandardOutput()).simplified().split(' ');
        if (child.exitCode() != 0 || values.size() != 7) {
            std::fprintf(stderr, "run with %d rows failed: %s\n", rows,
                         child.readAllStandardError().constData());
            return 1;
        }
        const double prepare = values[2].toDouble();
        const double write = values[3].toDouble();
        const double pages = values[1].toDouble();
        std::printf("%8d %6d %10.3f %10.3f %10.1f %10.3f %11.2fx %12.1f %12.1f\n", rows, values[1].toInt(),
                    prepare, write, pages / (prepare + write), values[4].toDouble(),
                    (prepare + write) / values[4].toDouble(), values[5].toDouble(), values[6].toDouble());
    }
    std::printf("ratio: engine time (prepare + PDF) over plain QPainter drawing of the same texts\n");
    return 0;
}
