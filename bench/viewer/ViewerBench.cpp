#include "bench/viewer/SearchScenarios.h"
#include "shared/tracking/DbConnection.h"
#include "shared/tracking/SqliteDialect.h"
#include "viewer/search/SearchSettingsStore.h"
#include "viewer/search/TrackQueryComposer.h"
#include "viewer/search/TrackResultModel.h"
#include "viewer/search/TrackSearch.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <random>
#include <stdexcept>
#include <vector>

// Times RunTrackQuery (count, open, the first rows in the model) for four searches over a table of
// a million rows, and the same count and first 100 rows of the same statements through the SQLite C
// API in the same run; then a million-row result read whole into the snapshot against stepping the
// same statement to its end, the process's memory holding it, and the peak memory of
// `OVTrack --export-csv` writing about 800 000 rows.
// Usage: bench_viewer [DATABASE [ROWS]] (made with ROWS rows when missing, a million by default;
// DATABASE a temporary file by default)
namespace {

constexpr int DefaultRowCount = 1000000;
constexpr int Repeats = 5;
constexpr int BaselineRows = 100;
const QDateTime Now(QDate(2024, 6, 30), QTime(18, 0));

void check(int rc, sqlite3 *db, const char *what)
{
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW)
        throw std::runtime_error(std::string(what) + ": " + sqlite3_errmsg(db));
}

QString dateText(const QDateTime &value)
{
    return SqliteDialect::canonicalDateTime(value);
}

void makeDatabase(const QString &path, int rowCount)
{
    std::printf("making %d rows in %s ...\n", rowCount, qPrintable(path));
    sqlite3 *db = nullptr;
    check(sqlite3_open(path.toUtf8().constData(), &db), db, "open");
    const SqliteDialect dialect;
    check(sqlite3_exec(db, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr), db, "wal");
    check(sqlite3_exec(db, dialect.createTrackingSql().toUtf8().constData(), nullptr, nullptr, nullptr), db,
          "create");
    check(sqlite3_exec(db, "begin", nullptr, nullptr, nullptr), db, "begin");
    sqlite3_stmt *insert = nullptr;
    check(sqlite3_prepare_v2(
              db,
              "insert into Tracking (MsgID, Sender, Filename, QZServerReceiveTime, QZDeliveryTime, "
              "PracID, FileType, LabId, RequestDate, AddresseeDoc, RequestingDoc, Patient, "
              "PatientGiven, PatientAddress, PatientDOB, Test, ReadStatus, StatusTime, RunNumber) "
              "values (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)",
              -1, &insert, nullptr),
          db, "prepare");
    static const char *Surnames[] = {
        "SMITH",   "JONES",   "WILLIAMS", "BROWN",    "TAYLOR",   "DAVIES",   "EVANS",  "WILSON",
        "THOMAS",  "JOHNSON", "ROBERTS",  "ROBINSON", "THOMPSON", "WRIGHT",   "WALKER", "WHITE",
        "EDWARDS", "HUGHES",  "GREEN",    "HALL",     "LEWIS",    "HARRIS",   "CLARKE", "PATEL",
        "JACKSON", "WOOD",    "TURNER",   "MARTIN",   "COOPER",   "HILL",     "WARD",   "MORRIS",
        "MOORE",   "CLARK",   "LEE",      "KING",     "BAKER",    "HARRISON", "MORGAN"};
    static const char *Given[] = {"Ann", "John", "Mary", "Peter", "Kate",
                                  "Tom", "Lucy", "Sam",  "Ella",  "Owen"};
    std::mt19937 random(42);
    const QDateTime start(QDate(2022, 7, 1), QTime(0, 0));
    const qint64 span = start.secsTo(Now);
    const auto text = [&](int column, const QByteArray &value) {
        sqlite3_bind_text(insert, column, value.constData(), int(value.size()), SQLITE_TRANSIENT);
    };
    for (int i = 0; i < rowCount; ++i) {
        const QDateTime received = start.addSecs(qint64(i) * span / rowCount);
        const unsigned pick = random() % 100;
        QByteArray delivery;
        if (pick < 8)
            delivery.clear(); // waiting
        else if (pick < 11)
            delivery = "1900-01-01 00:00:00.000";
        else if (pick < 12)
            delivery = "1905-06-07 00:00:00.000";
        else if (pick < 13)
            delivery = "2001-01-01 00:00:00.000";
        else
            delivery = dateText(received.addSecs(60 + random() % 7200)).toUtf8();
        const QByteArray id = QByteArray("Q") + QByteArray::number(10000000 + i);
        text(1, id);
        text(2, "LAB" + QByteArray::number(random() % 20));
        text(3, id + ".hl7");
        text(4, dateText(received).toUtf8());
        if (delivery.isEmpty())
            sqlite3_bind_null(insert, 5);
        else
            text(5, delivery);
        text(6, "P" + QByteArray::number(1000 + random() % 500));
        text(7, "HL7");
        text(8, "L" + QByteArray::number(5000000 + i));
        text(9, dateText(QDateTime(received.date(), QTime(0, 0))).toUtf8());
        text(10, "Dr " + QByteArray(Surnames[random() % std::size(Surnames)]));
        text(11, "Dr " + QByteArray(Surnames[random() % std::size(Surnames)]));
        text(12, QByteArray(Surnames[random() % std::size(Surnames)]) + QByteArray::number(random() % 50));
        text(13, Given[random() % std::size(Given)]);
        text(14, QByteArray::number(random() % 200) + " High Street");
        text(15, dateText(QDateTime(QDate(1930, 1, 1).addDays(random() % 30000), QTime(0, 0))).toUtf8());
        text(16, "FBC, U&E, LFT");
        const bool status = random() % 3 == 0;
        if (status) {
            sqlite3_bind_int(insert, 17, int(1 + random() % 6));
            text(18, dateText(received.addSecs(3600)).toUtf8());
        } else {
            sqlite3_bind_null(insert, 17);
            sqlite3_bind_null(insert, 18);
        }
        text(19, "R" + QByteArray::number(random() % 1000));
        check(sqlite3_step(insert), db, "insert");
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    check(sqlite3_exec(db, "commit", nullptr, nullptr, nullptr), db, "commit");
    for (const char *column :
         {"MsgID", "Patient", "PracID", "LabId", "QZServerReceiveTime", "QZDeliveryTime", "StatusTime"}) {
        const QString name = QStringLiteral("IX_Tracking_") + QLatin1String(column);
        check(sqlite3_exec(
                  db, dialect.createIndexSql(name, "Tracking", QLatin1String(column)).toUtf8().constData(),
                  nullptr, nullptr, nullptr),
              db, "index");
    }
    check(sqlite3_exec(db, "analyze", nullptr, nullptr, nullptr), db, "analyze");
    sqlite3_close(db);
}

// The same statements through the C API: the count, then the first `rows` rows (all when negative)
// with every column read.
class RawBaseline
{
public:
    explicit RawBaseline(const QString &path)
    {
        check(sqlite3_open_v2(path.toUtf8().constData(), &m_db, SQLITE_OPEN_READWRITE, nullptr), m_db,
              "open");
        check(sqlite3_exec(m_db, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr), m_db, "wal");
    }
    ~RawBaseline() { sqlite3_close(m_db); }

    qint64 run(const ComposedTrackQuery &query, int rows)
    {
        qint64 count = 0;
        step(query.countText(), query, [&](sqlite3_stmt *s) {
            count = sqlite3_column_int64(s, 0);
            return false;
        });
        int read = 0;
        step(query.trackText(), query, [&](sqlite3_stmt *s) {
            const int columns = sqlite3_column_count(s);
            for (int c = 0; c < columns; ++c)
                sqlite3_column_text(s, c);
            return rows < 0 || ++read < rows;
        });
        return count;
    }

private:
    void step(const QString &sql, const ComposedTrackQuery &query,
              const std::function<bool(sqlite3_stmt *)> &row)
    {
        sqlite3_stmt *s = nullptr;
        const QByteArray text = sql.toUtf8();
        check(sqlite3_prepare_v2(m_db, text.constData(), int(text.size()), &s, nullptr), m_db, "prepare");
        for (const QueryParameter &p : query.parameters) {
            const int index = sqlite3_bind_parameter_index(s, (":" + p.name).toUtf8().constData());
            if (index == 0)
                continue;
            const QByteArray value = p.type == ParamType::DateTime ? dateText(p.value.toDateTime()).toUtf8()
                                                                   : p.value.toString().toUtf8();
            sqlite3_bind_text(s, index, value.constData(), int(value.size()), SQLITE_TRANSIENT);
        }
        int rc;
        while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
            if (!row(s))
                break;
        }
        check(rc, m_db, "step");
        sqlite3_finalize(s);
    }

    sqlite3 *m_db = nullptr;
};

double medianMs(std::vector<double> times)
{
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

long statusKb(const QString &file, const char *key)
{
    QFile status(file);
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(key))
            return line.mid(int(qstrlen(key))).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

// Runs `OVTrack --export-csv` on a saved search of everything up to a date that leaves out the
// latest fifth of the rows, and reports the child's peak memory.
bool exportPeakMemory(const QString &databasePath)
{
#ifdef OVTRACK_PROGRAM
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    SearchCriteria criteria = SearchCriteria::atStartup(Now.date());
    criteria.toDateChecked = true;
    criteria.toDate = QDate(2022, 7, 1).addDays(584);
    SearchSettingsStore().save(
        SavedSearch::fromCriteria(criteria, QString::fromLatin1(InitialSortOrder), Now));

    const QString csv = config.filePath(QStringLiteral("export.csv"));
    QProcess program;
    program.setProcessChannelMode(QProcess::ForwardedChannels);
    QElapsedTimer timer;
    timer.start();
    program.start(QStringLiteral(OVTRACK_PROGRAM), {QString(), QString(),
                                                    QStringLiteral("Provider=SQLite;Data Source=") +
                                                        QFileInfo(databasePath).absoluteFilePath(),
                                                    QStringLiteral("--export-csv"), csv});
    // The child's own high-water mark, read while it runs: the rusage of children also counts the
    // pages it shared with this large process between fork and exec.
    long peakKb = 0;
    const QString status = QStringLiteral("/proc/%1/status").arg(program.processId());
    while (!program.waitForFinished(20))
        peakKb = std::max(peakKb, statusKb(status, "VmHWM:"));
    if (program.exitCode() != 0) {
        std::fprintf(stderr, "--export-csv failed\n");
        return false;
    }
    const double seconds = timer.nsecsElapsed() / 1e9;
    QFile file(csv);
    qint64 lines = 0;
    if (file.open(QIODevice::ReadOnly)) {
        while (!file.atEnd()) {
            file.readLine();
            ++lines;
        }
    }
    std::printf("--export-csv: %lld rows in %.1f s, peak RSS %ld MB (target under 80 MB)\n", lines - 1,
                seconds, peakKb / 1024);
#else
    Q_UNUSED(databasePath);
    std::printf("--export-csv: not measured, OVTrack is not built\n");
#endif
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir folder;
    const QString path =
        argc > 1 ? QString::fromLocal8Bit(argv[1]) : folder.filePath(QStringLiteral("bench.db"));
    if (!QFileInfo::exists(path))
        makeDatabase(path, argc > 2 ? QString::fromLocal8Bit(argv[2]).toInt() : DefaultRowCount);

    DbConnection connection(QFileInfo(path).absolutePath() + u'/');
    connection.open(QStringLiteral("Provider=SQLite;Data Source=") + QFileInfo(path).absoluteFilePath());
    TrackResultModel model;
    TrackSearch search(connection, model);
    RawBaseline raw(path);
    const QString sortOrder = QString::fromLatin1(InitialSortOrder);

    const std::vector<SearchScenario> scenarios = searchScenarios();

    std::printf("%-22s %10s %12s %12s %7s\n", "search", "rows", "viewer ms", "C API ms", "ratio");
    const SqliteDialect dialect;
    double worst = 0;
    for (const SearchScenario &scenario : scenarios) {
        SearchCriteria criteria = SearchCriteria::atStartup(Now.date());
        scenario.tick(criteria);
        const ComposedTrackQuery composed = TrackQueryComposer(dialect).compose(criteria, sortOrder, Now);
        std::vector<double> viewerTimes;
        std::vector<double> rawTimes;
        qint64 count = 0;
        for (int i = 0; i <= Repeats; ++i) {
            QElapsedTimer timer;
            timer.start();
            raw.run(composed, BaselineRows);
            const double rawMs = timer.nsecsElapsed() / 1e6;
            timer.restart();
            const TrackSearch::Result result = search.RunTrackQuery(criteria, sortOrder, Now);
            const double viewerMs = timer.nsecsElapsed() / 1e6;
            if (result.outcome != TrackSearch::Outcome::Opened ||
                model.rowCount() < std::min<qint64>(BaselineRows, search.TrackCount())) {
                std::fprintf(stderr, "%s: search failed: %s\n", scenario.name, qPrintable(result.error));
                return 1;
            }
            count = search.TrackCount();
            if (i == 0)
                continue; // warm-up
            rawTimes.push_back(rawMs);
            viewerTimes.push_back(viewerMs);
        }
        const double ratio = medianMs(viewerTimes) / medianMs(rawTimes);
        worst = std::max(worst, ratio);
        std::printf("%-22s %10lld %12.1f %12.1f %7.2f\n", scenario.name, count, medianMs(viewerTimes),
                    medianMs(rawTimes), ratio);
    }
    std::printf("worst ratio %.2f (target at most 1.30)\n", worst);

    // A result of every row: it opens at once, then the rest is read into the snapshot.
    SearchCriteria everything = SearchCriteria::atStartup(Now.date());
    everything.fromDateChecked = true;
    everything.fromDate = QDate(2000, 1, 1);
    const ComposedTrackQuery all = TrackQueryComposer(dialect).compose(everything, sortOrder, Now);
    QElapsedTimer timer;
    timer.start();
    raw.run(all, BaselineRows);
    const double rawOpenMs = timer.nsecsElapsed() / 1e6;
    timer.restart();
    raw.run(all, -1);
    const double rawWholeMs = timer.nsecsElapsed() / 1e6;
    const long before = statusKb(QStringLiteral("/proc/self/status"), "VmRSS:");
    timer.restart();
    search.RunTrackQuery(everything, sortOrder, Now);
    const double openMs = timer.nsecsElapsed() / 1e6;
    std::printf("whole-table result: %lld rows counted, opened with %d rows in %.1f ms (C API %.1f ms, ratio "
                "%.2f, target at most 1.30)\n",
                search.TrackCount(), model.rowCount(), openMs, rawOpenMs, openMs / rawOpenMs);
    model.fetchAll();
    const double wholeMs = timer.nsecsElapsed() / 1e6;
    std::printf(
        "whole snapshot: %d rows in %.1f ms (C API stepping every column %.1f ms, ratio %.2f, target at "
        "most 1.50)\n",
        model.rowCount(), wholeMs, rawWholeMs, wholeMs / rawWholeMs);
    std::printf(
        "viewer memory with the whole result read: RSS %ld MB (before the search %ld MB, target under "
        "200 MB)\n",
        statusKb(QStringLiteral("/proc/self/status"), "VmRSS:") / 1024, before / 1024);
    search.closeTrackQuery();
    return exportPeakMemory(path) ? 0 : 1;
}
