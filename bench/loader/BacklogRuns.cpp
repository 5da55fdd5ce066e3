#include "bench/loader/BacklogRuns.h"

#include "bench/loader/BenchTables.h"

#include "loader/OVTrackSvcForm.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>

namespace {

constexpr int StoredRows = 10000;

struct Backlog
{
    const char *label;
    int files;
    int linesPerFile;
    int filePause;
};

// A program folder with its settings, a table of `StoredRows` messages and the backlog's files,
// old enough to count as settled.
void prepareBacklog(const QString &folder, const Backlog &backlog)
{
    QDir().mkpath(folder + QStringLiteral("/tracking"));
    prefill(folder + QStringLiteral("/tracking.db"), StoredRows);
    QFile settings(folder + QStringLiteral("/settings.txt"));
    settings.open(QIODevice::WriteOnly);
    settings.write(QStringLiteral("summarydestination=%1/tracking/\r\n"
                                  "trackingdbconnection=Provider=SQLite;Data Source=%1/tracking.db\r\n"
                                  "qztrackstorehm=no\r\n"
                                  "shortdateformat=d/MM/yyyy\r\n"
                                  "filepause=%2\r\n")
                       .arg(folder)
                       .arg(backlog.filePause)
                       .toUtf8());
    settings.close();
    const QDateTime settled = QDateTime::currentDateTime().addSecs(-10);
    for (int i = 0; i < backlog.files; ++i) {
        QFile file(folder + QStringLiteral("/tracking/b%1.qzd").arg(i, 5, 10, QLatin1Char('0')));
        file.open(QIODevice::WriteOnly);
        file.write(trackingLines(backlog.linesPerFile, StoredRows, 5000 + i));
        // Written out first: a flush at closing would stamp the file anew.
        file.flush();
        file.setFileTime(settled, QFileDevice::FileModificationTime);
    }
}

} // namespace

int runBacklogPass(const QString &folder)
{
    TsvcOVTrack loader(folder);
    loader.InitialzeSettings();
    const RunClock clock;
    loader.doImport();
    clock.report();
    loader.CloseLog();
    if (!QDir(loader.TrackingDir).entryList({QStringLiteral("*.qzd")}, QDir::Files).isEmpty())
        std::fprintf(stderr, "the pass left tracking files behind\n");
    if (QFileInfo::exists(loader.TrackingDir + QStringLiteral("errors")))
        std::fprintf(stderr, "the pass left lines in the errors folder\n");
    return 0;
}

int runBacklogs()
{
    const Backlog backlogs[] = {
        {"1 file of 100 000 lines", 1, 100000, 100},
        {"200 files of 500 lines, filepause 0", 200, 500, 0},
        {"2 000 files of 5 lines, filepause 100", 2000, 5, 100},
        {"2 000 files of 5 lines, filepause 0", 2000, 5, 0},
    };
    std::printf("Backlog through the loader's pass (start-up, then one pass), on a table of %d messages\n",
                StoredRows);
    std::printf("%-40s %10s %12s %12s %16s\n", "backlog", "lines", "seconds", "line/s", "peak memory");
    double singleFileRate = 0;
    for (const Backlog &backlog : backlogs) {
        QTemporaryDir work;
        prepareBacklog(work.path(), backlog);
        const Measurement m = runChild({QStringLiteral("--backlog-pass"), work.path()});
        const int lines = backlog.files * backlog.linesPerFile;
        const double rate = lines / m.seconds;
        if (backlog.files == 1)
            singleFileRate = rate;
        std::printf("%-40s %10d %12.1f %12.0f %13.1f MB   %.2f of the single file\n", backlog.label, lines,
                    m.seconds, rate, m.peakKb / 1024.0, rate / singleFileRate);
        std::fflush(stdout);
    }
    std::printf("targets: 500-line files within 10 %% of the single file; 5-line files with filepause 0 at "
                "least half of it; peak memory flat in the number of files\n");
    return 0;
}
