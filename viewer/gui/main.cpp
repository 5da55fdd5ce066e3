#include "viewer/app/HeadlessCreateBlank.h"
#include "viewer/app/HeadlessReports.h"
#include "viewer/app/HeadlessSearch.h"
#include "viewer/app/MaintenanceCommands.h"
#include "viewer/app/ViewerRunValues.h"
#include "viewer/audit/AccessAudit.h"
#include "viewer/gui/Tracking.h"
#include "viewer/search/CsvWriter.h"

#include "shared/config/ProgramInfo.h"
#include "shared/text/WallClock.h"

#include <QApplication>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QSaveFile>
#include <QTextStream>

#include <cstdio>
#include <optional>
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
    return runSavedSearch(
        values, WallClock::now(), errors, [&](TrackResultModel &model, const TrackSearch &search) {
            // The audit row is written once the stream has read the whole result,
            // so that no read statement is open then; a refused row leaves the file
            // uncommitted.
            QSaveFile file(line.exportCsvPath);
            AccessAudit(search.connection(), AuditIdentity::ofThisProcess(),
                        AccessAudit::Table::EnsureBeforeFirstRow)
                .carryOut(AuditAction::ExportCsv, search.CriteriaText(),
                          {[&] { return rowsOutcome(writeTrackCsvFile(model, file), "written"); },
                           [&] { commitCsvFile(file); }});
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
        return writeSearchReportPdf(values, WallClock::now(), line.reportPdfPath, errors);
    return writeSummaryPdf(values, line.summaryPdfPath, errors);
}

QString usage()
{
    return QStringLiteral(
        "Usage: OVTrack [mailbox-root [import-folder [connection-string]]]\n"
        "       OVTrack [...] --export-csv FILE | --report-pdf FILE | --summary-pdf FILE\n"
        "       OVTrack --audit-csv FILE [--from DATE] [--to DATE]\n"
        "       OVTrack --check-undelivered [-w COUNT] [-c COUNT] [--age DAYS] [--critical-age DAYS]\n"
        "       OVTrack [...] --create-blank\n"
        "       OVTrack --help | --version\n"
        "Searches the tracking database and shows each message's delivery status. It reads\n"
        "settings.txt and qztrack.udl from its own folder.\n"
        "  --export-csv FILE   write the saved search as UTF-8 CSV, without a window\n"
        "  --report-pdf FILE   write the search report as PDF\n"
        "  --summary-pdf FILE  write the undelivered summary as PDF\n"
        "  --audit-csv FILE    write the access audit as CSV, optionally for whole days FROM to TO\n"
        "  --check-undelivered monitoring check: exit 0 OK, 1 WARNING, 2 CRITICAL, 3 UNKNOWN\n"
        "  --create-blank      create the Tracking table on the configured connection\n"
        "See OVTrack(1).");
}

} // namespace

int main(int argc, char **argv)
{
    if (const std::optional<int> answered =
            answerHelpOrVersion(argumentsOf(argc, argv), QStringLiteral("OVTrack"), usage()))
        return *answered;
    if (isMaintenanceCommand(argumentsOf(argc, argv))) {
        QCoreApplication app(argc, argv);
        QTextStream out(stdout);
        QTextStream errors(stderr);
        return runMaintenanceCommand(QCoreApplication::applicationDirPath(), argumentsOf(argc, argv), out,
                                     errors);
    }
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
