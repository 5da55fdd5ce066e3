#include "bench/loader/BenchTables.h"

#include "loader/OVTrackSvcForm.h"
#include "shared/tracking/SqlDialect.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>

#include <sys/resource.h>

#include <cstdio>
#include <stdexcept>
#include <string>

namespace {

const char *const IndexedColumns[] = {"MsgID",          "Patient",   "PracID", "LabId", "QZServerReceiveTime",
                                      "QZDeliveryTime", "StatusTime"};

} // namespace

// The kernel's high-water mark of this process image: getrusage's figure keeps the parent's size from
// before the exec, and the parent here builds whole tables and backlogs.
long peakMemoryKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

namespace {

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval &t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

} // namespace

RunClock::RunClock() : m_cpuAtStart(cpuSeconds())
{
    m_wall.start();
}

void RunClock::report() const
{
    const double seconds = m_wall.nsecsElapsed() / 1e9;
    std::printf("%.6f %ld %.6f\n", seconds, peakMemoryKb(), cpuSeconds() - m_cpuAtStart);
}

void check(int rc, sqlite3 *db, const char *what)
{
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW)
        throw std::runtime_error(std::string(what) + ": " + sqlite3_errmsg(db));
}

void exec(sqlite3 *db, const QString &sql)
{
    check(sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, nullptr), db, "exec");
}

QString prefilledId(int i)
{
    return QStringLiteral("PRE%1").arg(i, 7, 10, QLatin1Char('0'));
}

void prefill(const QString &file, int rows)
{
    sqlite3 *db = nullptr;
    check(sqlite3_open(QFile::encodeName(file).constData(), &db), db, "open");
    exec(db, QStringLiteral("PRAGMA journal_mode=WAL"));
    exec(db, QStringLiteral("PRAGMA synchronous=NORMAL"));
    exec(db, SqlDialect::create(Backend::Sqlite)->createTrackingSql());
    exec(db, QStringLiteral("BEGIN"));
    sqlite3_stmt *insert = nullptr;
    check(sqlite3_prepare_v2(
              db,
              "INSERT INTO Tracking (MsgID, Sender, Filename, QZServerReceiveTime, QZDeliveryTime, "
              "PracID, FileType, LabId, Patient, PatientGiven, Test) VALUES (?, ?, ?, ?, ?, ?, 'HL7', ?, "
              "?, 'Anne', 'FBC')",
              -1, &insert, nullptr),
          db, "prepare");
    QRandomGenerator random(7);
    for (int i = 0; i < rows; ++i) {
        const QByteArray id = prefilledId(i).toUtf8();
        const QByteArray prac = QStringLiteral("PR%1@lab.example").arg(i % 400).toUtf8();
        const QByteArray file = QStringLiteral("PR%1_%2.HL7").arg(i % 400).arg(i).toUtf8();
        const QByteArray receive = QDateTime(QDate(2023, 1, 1), QTime(0, 0))
                                       .addSecs(i * 30)
                                       .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"))
                                       .toUtf8();
        const QByteArray delivery = QDateTime(QDate(2023, 1, 1), QTime(1, 0))
                                        .addSecs(i * 30)
                                        .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"))
                                        .toUtf8();
        const QByteArray lab = QStringLiteral("L%1").arg(i).toUtf8();
        const QByteArray patient = QStringLiteral("Surname%1").arg(random.bounded(50000)).toUtf8();
        sqlite3_bind_text(insert, 1, id.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 2, "lab@lab.example", -1, SQLITE_STATIC);
        sqlite3_bind_text(insert, 3, file.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 4, receive.constData(), -1, SQLITE_TRANSIENT);
        if (i % 3 == 0)
            sqlite3_bind_null(insert, 5);
        else
            sqlite3_bind_text(insert, 5, delivery.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 6, prac.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 7, lab.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 8, patient.constData(), -1, SQLITE_TRANSIENT);
        check(sqlite3_step(insert), db, "insert");
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    exec(db, QStringLiteral("COMMIT"));
    for (const char *column : IndexedColumns)
        exec(db, QStringLiteral("CREATE INDEX IX_Tracking_%1 ON Tracking (%1)").arg(QLatin1String(column)));
    sqlite3_close(db);
}

QByteArray trackingLines(int count, int storedRows, int run)
{
    QRandomGenerator random(1000 + run);
    QByteArray bytes;
    for (int i = 0; i < count; ++i) {
        QStringList f(20);
        f[0] = QStringLiteral("lab@lab.example");
        f[2] = QStringLiteral("2024-03-05 10:15:20");
        f[4] = QStringLiteral("HL7");
        f[5] = QStringLiteral("LAB%1").arg(i);
        f[6] = QStringLiteral("2024-03-01 09:00:00");
        f[7] = QStringLiteral("Dr#Addressee");
        f[8] = QStringLiteral("Dr#Requesting");
        f[9] = QStringLiteral("Surname%1#Given").arg(random.bounded(50000));
        f[10] = QStringLiteral("1 High Street");
        f[11] = QStringLiteral("1970-02-03");
        f[12] = QStringLiteral("PT%1").arg(i);
        f[13] = QStringLiteral("FBC");
        f[14] = QStringLiteral("2024-03-04 08:00:00");
        f[15] = QStringLiteral("2024-03-05 09:00:00");
        f[16] = QStringLiteral("RUN%1").arg(i % 10);
        const int kind = static_cast<int>(random.bounded(10));
        const int prac = static_cast<int>(random.bounded(400));
        f[17] = QStringLiteral("PR%1@lab.example").arg(prac);
        if (kind < 5) {
            f[1] = QStringLiteral("PR%1_NEW%2_%3.hl7").arg(prac).arg(run).arg(i);
            f[19] = QStringLiteral("NEW%1-%2").arg(run).arg(i);
        } else {
            const int stored = static_cast<int>(random.bounded(storedRows));
            f[1] = QStringLiteral("PR%1_%2.HL7").arg(stored % 400).arg(stored);
            f[19] = prefilledId(stored);
            if (kind < 8)
                f[3] = QStringLiteral("2024-03-06 09:30:00");
            else
                f[18] = QString::number(2 + random.bounded(2));
        }
        bytes += f.join(u',').toUtf8() + "\r\n";
    }
    return bytes;
}

void writeTrackingFile(const QString &path, const QByteArray &lines)
{
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(lines);
    // Written out first: a flush at closing would stamp the file anew.
    file.flush();
    file.setFileTime(QDateTime::currentDateTime().addSecs(-10), QFileDevice::FileModificationTime);
}

int runLoaderImport(const QString &folder, const QString &connectionString)
{
    TsvcOVTrack loader(folder);
    loader.Sleep = [](int) {};
    loader.ShortDateFormat = QStringLiteral("d/MM/yyyy");
    loader.TrackingDir = folder + QStringLiteral("/tracking/");
    loader.adoConn1.openCreating(connectionString);
    loader.OpenLog();
    loader.LoggingLevel = 1;
    loader.LoggingEnabled = true;
    const RunClock clock;
    loader.doImport();
    clock.report();
    loader.CloseLog();
    if (QFile::exists(loader.TrackingDir + QStringLiteral("errors/lines.qzd")))
        std::fprintf(stderr, "loader left lines in the errors folder\n");
    return 0;
}

Measurement runChild(const QStringList &arguments)
{
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), arguments);
    child.waitForFinished(-1);
    const QList<QByteArray> out = child.readAllStandardOutput().trimmed().split(' ');
    if (child.exitCode() != 0 || out.size() != 3)
        throw std::runtime_error("child run failed: " + arguments.join(u' ').toStdString());
    return {out[0].toDouble(), out[1].toLong(), out[2].toDouble()};
}
