#include "tools/report-samples/ReportSampleRows.h"
#include "viewer/reports/ReportEngine.h"
#include "viewer/reports/ReportLayouts.h"
#include "viewer/reports/ReportOutput.h"

#include <QDir>
#include <QGuiApplication>

#include <cstdio>
#include <exception>

// Writes the three reports over invented rows as search.pdf, practice.pdf and undelivered.pdf into
// the folder given as the first argument, each with its preview image of page 1 (NAME-preview.png),
// so their look can be checked without a database.
int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "Usage: %s OUTPUT_FOLDER\n", argv[0]);
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    if (!folder.mkpath(QStringLiteral("."))) {
        std::fprintf(stderr, "Cannot create the folder %s\n", argv[1]);
        return 1;
    }

    const QString criteria = QStringLiteral("Patient like 'A%' and From Date >= 2026-11-09 00:00:00");
    try {
        auto write = [&](ReportKind kind, const ReportDataSource &rows, const QString &file) {
            ReportEngine engine(ReportLayouts::forKind(kind), rows);
            engine.setText(QString::fromLatin1(ReportLayouts::CriteriaElement), criteria);
            engine.setBeforePrint(ReportBandKind::PageFooter, ReportLayouts::pageFooterBeforePrint());
            engine.prepare();
            ReportOutput::writePdf(engine, folder.filePath(file + QStringLiteral(".pdf")));
            // What the window's preview shows: page 1 at 50 %.
            ReportOutput::renderPage(engine, 1).save(folder.filePath(file + QStringLiteral("-preview.png")));
            std::printf("%s.pdf: %d pages\n", qPrintable(folder.filePath(file)), engine.pageCount());
        };
        write(ReportKind::Search, ReportSampleRows::trackRows(60, 4, false), QStringLiteral("search"));
        write(ReportKind::Practice, ReportSampleRows::trackRows(60, 4, true), QStringLiteral("practice"));
        write(ReportKind::Undelivered, ReportSampleRows::undeliveredRows(14),
              QStringLiteral("undelivered"));
    } catch (const std::exception &error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return 0;
}
