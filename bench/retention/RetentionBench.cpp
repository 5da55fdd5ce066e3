// Retention of old settled rows while the loader imports: the longest time one of the loader's
// record writes waits during the prune, against the same writes before it, and the prune's rate.
//
//   retention_bench [rows]    default 1 000 000 rows, a half of them old and settled

#include "loader/OVTrackSvcForm.h"
#include "loader/TrackingRetention.h"

#include "shared/tracking/SqlDialect.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

const char *const IndexedColumns[] = {"MsgID",          "Patient",   "PracID", "LabId", "QZServerReceiveTime",
                                      "QZDeliveryTime", "StatusTime"};
const QDateTime Now(QDate(2026, 6, 1), QTime(12, 0));
constexpr int RetainDays = 365;

void check(int rc, sqlite3 *db, const char *what)
{
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW)
        throw std::runtime_error(std::string(what) + ": " + sqlite3_errmsg(db));
}

void exec(sqlite3 *db, const QString &sql)
{
    check(sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, nullptr), db, "exec");
}

QByteArray stamp(const QDateTime &value)
{
    return value.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")).toUtf8();
}

// Time-ordered as a real table is: `old` settled rows two years back (one in eleven of the old rows
// still waiting, which retention keeps), then recent ones; content for one message in five.
void prefill(const QString &file, int rows, int old)
{
    sqlite3 *db = nullptr;
    check(sqlite3_open(QFile::encodeName(file).constData(), &db), db, "open");
    exec(db, QStringLiteral("PRAGMA journal_mode=WAL"));
    exec(db, QStringLiteral("PRAGMA synchronous=NORMAL"));
    const auto dialect = SqlDialect::create(Backend::Sqlite);
    exec(db, dialect->createTrackingSql());
    exec(db, dialect->createContentSql());
    exec(db, QStringLiteral("BEGIN"));
    sqlite3_stmt *insert = nullptr;
    check(sqlite3_prepare_v2(
              db,
              "INSERT INTO Tracking (MsgID, Sender, Filename, QZServerReceiveTime, QZDeliveryTime, "
              "PracID, FileType, LabId, Patient, PatientGiven, Test) VALUES (?, 'lab@lab.example', "
              "?, ?, ?, ?, 'HL7', ?, ?, 'Anne', 'FBC')",
              -1, &insert, nullptr),
          db, "prepare");
    sqlite3_stmt *content = nullptr;
    check(
        sqlite3_prepare_v2(db, "INSERT INTO HM_CONTENT (MsgID, HMData) VALUES (?, ?)", -1, &content, nullptr),
        db, "prepare");
    const QByteArray body(600, 'x');
    const QDateTime oldStart = Now.addDays(-2 * RetainDays);
    const QDateTime recentStart = Now.addDays(-RetainDays / 2);
    int settled = 0;
    for (int i = 0; settled < old || i < rows; ++i) {
        const bool isOld = settled < old;
        const bool waiting = isOld ? i % 11 == 10 : i % 3 == 0;
        if (isOld && !waiting)
            ++settled;
        const QByteArray id = QStringLiteral("M%1").arg(i, 8, 10, QLatin1Char('0')).toUtf8();
        const QDateTime received = (isOld ? oldStart : recentStart).addSecs(i * 20);
        const QByteArray receive = stamp(received);
        const QByteArray delivery = stamp(received.addSecs(600));
        const QByteArray name = id + ".hl7";
        const QByteArray prac = QStringLiteral("PR%1").arg(i % 400).toUtf8();
        const QByteArray patient = QStringLiteral("Surname%1").arg(i % 50000).toUtf8();
        sqlite3_bind_text(insert, 1, id.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 2, name.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 3, receive.constData(), -1, SQLITE_TRANSIENT);
        if (waiting)
            sqlite3_bind_null(insert, 4);
        else
            sqlite3_bind_text(insert, 4, delivery.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 5, prac.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 6, id.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 7, patient.constData(), -1, SQLITE_TRANSIENT);
        check(sqlite3_step(insert), db, "insert");
        sqlite3_reset(insert);
        if (i % 5 == 0) {
            sqlite3_bind_text(content, 1, id.constData(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_blob(content, 2, body.constData(), int(body.size()), SQLITE_STATIC);
            check(sqlite3_step(content), db, "content");
            sqlite3_reset(content);
        }
        if (!isOld && i >= rows)
            break;
    }
    sqlite3_finalize(insert);
    sqlite3_finalize(content);
    exec(db, QStringLiteral("COMMIT"));
    for (const char *column : IndexedColumns)
        exec(db, QStringLiteral("CREATE INDEX IX_Tracking_%1 ON Tracking (%1)").arg(QLatin1String(column)));
    exec(db, QStringLiteral("CREATE INDEX IX_HM_CONTENT_MsgID ON HM_CONTENT (MsgID)"));
    sqlite3_close(db);
}

TrackingRecord newMessage(int n)
{
    TrackingRecord record;
    record.MsgID = QStringLiteral("NEW%1").arg(n);
    record.Sender = QStringLiteral("lab@lab.example");
    record.Filename = QStringLiteral("NEW%1.hl7").arg(n);
    record.QZServerReceiveTime = DateField(Now);
    record.PracID = QStringLiteral("PR%1").arg(n % 400);
    record.FileType = QStringLiteral("HL7");
    record.Patient = QStringLiteral("Newcomer%1").arg(n);
    return record;
}

// The loader's record writes, one message per transaction as the import makes them, on a thread
// and connection of their own. Each write's duration lands in `phase`'s list.
class Importer
{
public:
    explicit Importer(QString folder) : m_folder(std::move(folder)) {}

    void start()
    {
        m_thread = std::thread([this] { run(); });
        while (!m_ready)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    void stop()
    {
        m_stop = true;
        m_thread.join();
    }
    std::atomic<int> phase{0};
    std::vector<double> latencies[2]; // milliseconds: before the prune, during it
    std::atomic<int> failures{0};

private:
    void run()
    {
        TsvcOVTrack loader(m_folder);
        loader.adoConn1.open(QStringLiteral("Provider=SQLite;Data Source=") + m_folder +
                             QStringLiteral("bench.db"));
        m_ready = true;
        int n = 0;
        QElapsedTimer timer;
        while (!m_stop) {
            timer.start();
            if (!loader.InsertTrackingData(newMessage(++n)))
                ++failures;
            latencies[phase].push_back(double(timer.nsecsElapsed()) / 1e6);
            // About the pace of a busy server: a message every 2 ms.
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }

    QString m_folder;
    std::thread m_thread;
    std::atomic<bool> m_ready{false};
    std::atomic<bool> m_stop{false};
};

double percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, size_t(p * double(values.size())))];
}

double maximum(const std::vector<double> &values)
{
    return values.empty() ? 0 : *std::max_element(values.begin(), values.end());
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int rows = argc > 1 ? std::atoi(argv[1]) : 1000000;
    const int old = rows / 2;
    QTemporaryDir dir;
    const QString folder = dir.path() + u'/';
    std::printf("preparing %d rows, %d of them old and settled...\n", rows, old);
    std::fflush(stdout);
    prefill(folder + QStringLiteral("bench.db"), rows, old);

    Importer importer(folder);
    importer.start();
    std::this_thread::sleep_for(std::chrono::seconds(2));

    DbConnection connection(folder);
    connection.open(QStringLiteral("Provider=SQLite;Data Source=") + folder + QStringLiteral("bench.db"));
    TrackingRetention retention(connection, RetainDays, Now);
    retention.setBatchTimeTarget(std::chrono::milliseconds(50)); // as OVTrackSvc /PRUNE sets it
    importer.phase = 1;
    QElapsedTimer timer;
    timer.start();
    double longestBatch = 0;
    // As OVTrackSvc /PRUNE does: after each batch, a pause as long as the batch took.
    retention.runToEnd([&](std::chrono::milliseconds batchTime) {
        longestBatch = std::max(longestBatch, double(batchTime.count()));
        std::this_thread::sleep_for(batchTime);
    });
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    importer.phase = 0;
    importer.stop();

    const RetentionCounts &deleted = retention.deleted();
    std::printf("\nretention of %lld rows (%lld content rows) in %d batches while the loader imports\n",
                deleted.trackingRows, deleted.contentRows, deleted.batches);
    std::printf("  prune: %.1f s, %.0f rows/s (half the time is the pause left to other writers)\n", seconds,
                double(deleted.trackingRows) / seconds);
    std::printf("  longest batch: %.0f ms, last batch size %d rows\n", longestBatch, retention.batchSize());
    std::printf("  loader record write   before prune   during prune\n");
    std::printf("    writes              %12zu   %12zu\n", importer.latencies[0].size(),
                importer.latencies[1].size());
    std::printf("    median ms           %12.2f   %12.2f\n", percentile(importer.latencies[0], 0.5),
                percentile(importer.latencies[1], 0.5));
    std::printf("    99th percentile ms  %12.2f   %12.2f\n", percentile(importer.latencies[0], 0.99),
                percentile(importer.latencies[1], 0.99));
    std::printf("    longest ms          %12.2f   %12.2f   (target during prune: under 200)\n",
                maximum(importer.latencies[0]), maximum(importer.latencies[1]));
    std::printf("    failed writes       %12d\n", importer.failures.load());
    return importer.failures > 0 || deleted.trackingRows != old ? 1 : 0;
}
