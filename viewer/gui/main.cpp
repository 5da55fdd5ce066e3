#include "viewer/app/HeadlessCreateBlank.h"
#include "viewer/app/HeadlessReports.h"
#include "viewer/app/HeadlessSearch.h"
#include "viewer/app/ViewerRunValues.h"
#include "viewer/gui/Tracking.h"
#include "viewer/search/CsvWriter.h"

#include <QApplication>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QSaveFile>
#include <QTextStream>

#include <cstdio>
#include <stdexcept>

namespace {

QStringList argumentsOf(int argc, char **argv)
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

// `OVTrack [userpath [importpath [connection]]] --export-csv FILE`: the saved search as CSV, no window.
int exportCsv(const ViewerCommandLine &line)
{
    QTextStream errors(stderr);
    const ViewerRunValues values =
        ViewerRunValues::fromEnvironment(QCoreApplication::applicationDirPath(), line.positional);
    return runSavedSearch(values, QDateTime::currentDateTime(), errors,
                          [&](TrackResultModel &model, const TrackSearch &) {
                              QSaveFile file(line.exportCsvPath);
                              if (!file.open(QIODevice::WriteOnly))
                                  throw std::runtime_error(QStringLiteral("Cannot write %1: %2")
                                                               .arg(line.exportCsvPath, file.errorString())
                                                               .toStdString());
                              writeTrackCsv(model, file);
                              if (!file.commit())
                                  throw std::runtime_error(QStringLiteral("Cannot write %1: %2")
                                                               .arg(line.exportCsvPath, file.errorString())
                                                               .toStdString());
                          });
}

// `--report-pdf FILE` or `--summary-pdf FILE`: lays text out, so needs a QGuiApplication, which
// runs on the offscreen platform where there is no display.
int writeReportPdf(int argc, char **argv, const ViewerCommandLine &line)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QTextStream errors(stderr);
    const ViewerRunValues values =
        ViewerRunValues::fromEnvironment(QCoreApplication::applicationDirPath(), line.positional);
    if (!line.reportPdfPath.isEmpty())
        return writeSearchReportPdf(values, QDateTime::currentDateTime(), line.reportPdfPath, errors);
    return writeSummaryPdf(values, line.summaryPdfPath, errors);
}

} // namespace

int main(int argc, char **argv)
{
    const ViewerCommandLine line = ViewerCommandLine::parse(argumentsOf(argc, argv));
    if (!line.error.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(line.error));
        return 1;
    }
    if (!line.reportPdfPath.isEmpty() || !line.summaryPdfPath.isEmpty())
        return writeReportPdf(argc, argv, line);
    if (line.createBlank) {
        QCoreApplication app(argc, argv);
        QTextStream errors(stderr);
        return createBlankTrackTable(
            ViewerRunValues::fromEnvironment(QCoreApplication::applicationDirPath(), line.positional),
            errors);
    }
    if (line.isHeadless()) {
        QCoreApplication app(argc, argv);
        return exportCsv(line);
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QLatin1String(TQZTrackForm::ApplicationTitle));
    TQZTrackForm form({QCoreApplication::applicationDirPath(), line.positional, nullptr, nullptr});
    form.FormCreate();
    form.show();
    return app.exec();
}
