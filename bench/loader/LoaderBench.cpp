// Import speed of the loader against a program doing the same per-line statements through the raw
// SQLite C API, on tables already holding 10 000, 100 000 and 1 000 000 rows.
//
//   loader_bench [lines per run [largest table]]
//                                     runs everything and prints the table; a smaller largest
//                                     table (10000 or 100000) leaves out the slow builds
//   loader_bench --loader <folder>    (internal) one loader import, prints "seconds maxrss-kB"
//   loader_bench --baseline <folder>  (internal) one baseline run, prints "seconds maxrss-kB"
//   loader_bench --backlogs           the backlog runs through the loader's own pass
//   loader_bench --backlog-pass <folder>
//                                     (internal) one backlog pass, prints "seconds maxrss-kB"
//   loader_bench --prepare <folder> <rows> <lines>
//                                     a folder for one --loader or --baseline run, to run under a
//                                     profiler such as valgrind --tool=callgrind

#include "bench/loader/BacklogRuns.h"
#include "bench/loader/BenchTables.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <cstdio>
#include <stdexcept>

namespace {

// ---- loader run ---------------------------------------------------------------------------------

int runLoader(const QString &folder)
{
    return runLoaderImport(folder, QStringLiteral("Provider=SQLite;Data Source=") + folder +
                                       QStringLiteral("/loader.db"));
}

// ---- baseline: the same statements through the C API ------------------------------------------------

// A statement prepared once, or, to show what preparing costs, again before every use.
struct Statement
{
    sqlite3 *db = nullptr;
    const char *sql = nullptr;
    bool prepareEachUse = false;
    sqlite3_stmt *stmt = nullptr;
    Statement(sqlite3 *database, const char *text, bool eachUse)
        : db(database), sql(text), prepareEachUse(eachUse)
    {
        check(sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr), db, sql);
    }
    ~Statement() { sqlite3_finalize(stmt); }
    Statement &use()
    {
        if (prepareEachUse) {
            sqlite3_finalize(stmt);
            check(sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr), db, sql);
        }
        return *this;
    }
    void text(int i, const QByteArray &v)
    {
        sqlite3_bind_text(stmt, i, v.constData(), v.size(), SQLITE_TRANSIENT);
    }
    void null(int i) { sqlite3_bind_null(stmt, i); }
    int run(sqlite3 *db)
    {
        int rc = 0;
        while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        }
        check(rc, db, "step");
        sqlite3_reset(stmt);
        return sqlite3_changes(db);
    }
    bool firstRow(sqlite3 *db)
    {
        const int rc = sqlite3_step(stmt);
        check(rc, db, "step");
        const bool found = rc == SQLITE_ROW;
        sqlite3_reset(stmt);
        return found;
    }
};

// "yyyy-MM-dd[ HH:mm:ss]" in the stored form, as a C program would do it: by appending.
QByteArray isoTime(const QByteArray &text)
{
    return text.size() == 10 ? text + " 00:00:00.000" : text + ".000";
}

int runBaseline(const QString &folder, bool prepareEachUse)
{
    QFile input(folder + QStringLiteral("/baseline.qzd"));
    input.open(QIODevice::ReadOnly);
    const QList<QByteArray> lines = input.readAll().split('\n');
    sqlite3 *db = nullptr;
    check(sqlite3_open(QFile::encodeName(folder + QStringLiteral("/baseline.db")).constData(), &db), db,
          "open");
    exec(db, QStringLiteral("PRAGMA journal_mode=WAL"));
    exec(db, QStringLiteral("PRAGMA synchronous=NORMAL"));
    Statement lookup(
        db,
        "select Sender, Filename, QZServerReceiveTime, QZDeliveryTime, StatusTime, PracID, FileType, "
        "RunNumber, ReadStatus from Tracking where MsgID=? limit 1",
        prepareEachUse);
    Statement low(
        db,
        "select QZDeliveryTime,QZServerReceiveTime from Tracking where MsgID=? and QZDeliveryTime in "
        "(select min(QZDeliveryTime) from Tracking where QZDeliveryTime is not null and MsgId=?)",
        prepareEachUse);
    Statement receipt(db,
                      "update Tracking set QZDeliveryTime=?, PracID=?, Sender=? where MsgId=? and "
                      "(QZDeliveryTime is null or Sender is null or Sender='Unknown Sender')",
                      prepareEachUse);
    Statement status(
        db,
        "update Tracking set ReadStatus=?, StatusTime=?, QZDeliveryTime=?, Sender=? where MsgId=? "
        "and (FileName=? or Filename is Null)",
        prepareEachUse);
    Statement insert(
        db,
        "INSERT INTO Tracking (MsgID, Sender, Filename, QZServerReceiveTime, QZDeliveryTime, PracID, "
        "FileType, LabId, RequestDate, AddresseeDoc, RequestingDoc, Patient, PatientGiven, "
        "PatientAddress, PatientDOB, DocsPTRef, Test, CollectTime, ReportTime, RunNumber) VALUES "
        "(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
        prepareEachUse);
    Statement messageRows(
        db,
        "select MsgId, Sender, PracId, QZDeliveryTime, Filename, StatusTime, ReadStatus from "
        "Tracking where MsgId = ?",
        prepareEachUse);
    Statement fileRows(db,
                       "select MsgId, PracId, QZDeliveryTime, ReadStatus from Tracking where MsgId = ? and "
                       "Filename = ?",
                       prepareEachUse);
    Statement begin(db, "BEGIN", prepareEachUse);
    Statement commit(db, "COMMIT", prepareEachUse);
    const QByteArray now =
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")).toUtf8();

    const RunClock clock;
    for (qsizetype i = lines.size() - 1; i >= 0; --i) {
        const QByteArray line = lines.at(i).trimmed();
        if (!line.contains(','))
            continue;
        const QList<QByteArray> f = line.split(',');
        const QByteArray &id = f.last();
        lookup.use().text(1, id);
        const bool found = sqlite3_step(lookup.stmt) == SQLITE_ROW;
        const QByteArray storedReceive =
            found ? QByteArray(reinterpret_cast<const char *>(sqlite3_column_text(lookup.stmt, 2)))
                  : QByteArray();
        sqlite3_reset(lookup.stmt);
        const bool hasDelivery = !f[3].isEmpty();
        const bool hasStatus = !f[18].isEmpty();
        if ((hasDelivery && found) || (!hasDelivery && hasStatus)) {
            receipt.use().text(1, hasDelivery ? isoTime(f[3]) : storedReceive);
            receipt.text(2, f[17]);
            receipt.text(3, f[0]);
            receipt.text(4, id);
            if (receipt.run(db) == 0) {
                messageRows.use().text(1, id);
                messageRows.run(db);
            }
            if (hasStatus) {
                sqlite3_bind_int(status.use().stmt, 1, f[18].toInt());
                status.text(2, now);
                status.text(3, storedReceive);
                status.text(4, f[0]);
                status.text(5, id);
                status.text(6, f[1].toUpper());
                if (status.run(db) == 0) {
                    fileRows.use().text(1, id);
                    fileRows.text(2, f[1].toUpper());
                    fileRows.run(db);
                }
            }
            continue;
        }
        low.use().text(1, id);
        low.text(2, id);
        low.firstRow(db);
        begin.use().run(db);
        const int columns[] = {19, 0, 1, 2, 3, 17, 4, 5, 6, 7, 8, 9, 9, 10, 11, 12, 13, 14, 15, 16};
        insert.use();
        for (int c = 0; c < 20; ++c) {
            const QByteArray &v = f[columns[c]];
            if (c == 3 || c == 8 || c == 14)
                insert.text(c + 1, isoTime(v));
            else if (c == 4)
                insert.null(c + 1);
            else
                insert.text(c + 1, c == 2 ? v.toUpper() : v);
        }
        insert.run(db);
        commit.use().run(db);
    }
    clock.report();
    sqlite3_close(db);
    return 0;
}

constexpr int Rounds = 3;

int runAll(int lineCount, int largestTable)
{
    QTemporaryDir work;
    std::printf("Import of %d tracking lines, best of three runs each (5/10 new messages, 3/10 receipts, "
                "2/10 status notifications)\n",
                lineCount);
    std::printf("%10s %14s %16s %8s %10s %14s %12s %22s\n", "rows", "loader line/s", "baseline line/s",
                "ratio", "cpu ratio", "loader us/line", "loader peak", "baseline re-preparing");
    double costSmall = 0;
    double costLarge = 0;
    long peak = 0;
    int run = 0;
    for (const int rows : {10000, 100000, 1000000}) {
        if (rows > largestTable)
            break;
        const QString folder = work.path() + QStringLiteral("/r%1").arg(rows);
        QDir().mkpath(folder + QStringLiteral("/tracking"));
        QElapsedTimer fill;
        fill.start();
        prefill(folder + QStringLiteral("/loader.db"), rows);
        QFile::copy(folder + QStringLiteral("/loader.db"), folder + QStringLiteral("/baseline.db"));
        std::fprintf(stderr, "prefilled %d rows in %.1f s\n", rows, fill.elapsed() / 1000.0);

        // The machine is shared: each side runs three times, alternating, and keeps its best run.
        Measurement loader{1e9, 0, 1e9};
        Measurement raw{1e9, 0, 1e9};
        Measurement reprepared{1e9, 0, 1e9};
        for (int round = 0; round < Rounds; ++round) {
            const QByteArray lines = trackingLines(lineCount, rows, ++run);
            writeTrackingFile(folder + QStringLiteral("/tracking/lines.qzd"), lines);
            QFile baseline(folder + QStringLiteral("/baseline.qzd"));
            baseline.open(QIODevice::WriteOnly);
            baseline.write(lines);
            baseline.close();
            const Measurement l = runChild({QStringLiteral("--loader"), folder});
            const Measurement b = runChild({QStringLiteral("--baseline"), folder});
            // Same lines once more: the receipts find their rows delivered, as they would anyway.
            baseline.open(QIODevice::WriteOnly);
            baseline.write(trackingLines(lineCount, rows, 100 + run));
            baseline.close();
            const Measurement r = runChild({QStringLiteral("--baseline-reprepare"), folder});
            reprepared.seconds = std::min(reprepared.seconds, r.seconds);
            loader.seconds = std::min(loader.seconds, l.seconds);
            loader.cpuSeconds = std::min(loader.cpuSeconds, l.cpuSeconds);
            raw.cpuSeconds = std::min(raw.cpuSeconds, b.cpuSeconds);
            loader.peakKb = std::max(loader.peakKb, l.peakKb);
            raw.seconds = std::min(raw.seconds, b.seconds);
        }
        const double loaderRate = lineCount / loader.seconds;
        const double rawRate = lineCount / raw.seconds;
        const double cost = loader.seconds * 1e6 / lineCount;
        if (rows == 10000)
            costSmall = cost;
        if (rows == 1000000)
            costLarge = cost;
        peak = std::max(peak, loader.peakKb);
        std::printf("%10d %14.0f %16.0f %8.2f %10.2f %14.1f %9.1f MB %15.0f line/s\n", rows, loaderRate,
                    rawRate, loaderRate / rawRate, raw.cpuSeconds / loader.cpuSeconds, cost,
                    loader.peakKb / 1024.0, lineCount / reprepared.seconds);
        std::fflush(stdout);
        QDir(folder).removeRecursively();
    }
    if (costLarge > 0)
        std::printf("per-line cost at 1 000 000 rows / at 10 000 rows: %.2f (target <= 1.5)\n",
                    costLarge / costSmall);
    std::printf("loader peak memory: %.1f MB (target < 64 MB)\n", peak / 1024.0);
    std::printf("targets: loader/baseline >= 0.80 at every size\n");
    std::printf(
        "(cpu ratio: the baseline's processor time over the loader's, for a machine shared with other "
        "work; the last column: the baseline preparing every statement before each use, as the "
        "loader's statements once did)\n");
    return 0;
}

// The folder one run reads: both databases holding `rows` messages and one tracking file.
void prepareFolder(const QString &folder, int rows, int lineCount)
{
    QDir().mkpath(folder + QStringLiteral("/tracking"));
    prefill(folder + QStringLiteral("/loader.db"), rows);
    QFile::copy(folder + QStringLiteral("/loader.db"), folder + QStringLiteral("/baseline.db"));
    const QByteArray lines = trackingLines(lineCount, rows, 1);
    for (const QString &name : {QStringLiteral("/tracking/lines.qzd"), QStringLiteral("/baseline.qzd")}) {
        writeTrackingFile(folder + name, lines);
    }
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    try {
        if (args.size() == 3 && args[1] == QLatin1String("--loader"))
            return runLoader(args[2]);
        if (args.size() == 3 && args[1] == QLatin1String("--baseline"))
            return runBaseline(args[2], false);
        if (args.size() == 3 && args[1] == QLatin1String("--baseline-reprepare"))
            return runBaseline(args[2], true);
        if (args.size() == 2 && args[1] == QLatin1String("--backlogs"))
            return runBacklogs();
        if (args.size() == 3 && args[1] == QLatin1String("--backlog-pass"))
            return runBacklogPass(args[2]);
        if (args.size() == 5 && args[1] == QLatin1String("--prepare")) {
            prepareFolder(args[2], args[3].toInt(), args[4].toInt());
            return 0;
        }
        return runAll(args.size() > 1 ? args[1].toInt() : 3000, args.size() > 2 ? args[2].toInt() : 1000000);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
}
