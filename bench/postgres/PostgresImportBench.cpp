// Import speed of the loader on a private PostgreSQL server against a program doing the same
// per-line statements through libpq (each prepared once, run with PQexecPrepared, the insert in a
// transaction of its own), on tables already holding 10 000 and 1 000 000 rows.
//
//   bench_postgres_import [lines per run]
//   bench_postgres_import --loader <folder> <connection string>   (internal) one loader import
//   bench_postgres_import --baseline <folder> <conninfo>          (internal) one baseline run

#include "bench/postgres/PostgresBenchTables.h"
#include "bench/loader/BenchTables.h"
#include "shared/tracking/DbConnection.h"
#include "tests/support/PostgresServer.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <libpq-fe.h>

#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <vector>

namespace {

// ---- baseline: the same statements through libpq ------------------------------------------------

// A statement prepared once on the server; values go as text, typed by the server as for the loader.
class Prepared
{
public:
    Prepared(PGconn *conn, const char *name, const char *sql) : m_conn(conn), m_name(name)
    {
        PGresult *result = PQprepare(conn, name, sql, 0, nullptr);
        const bool ok = PQresultStatus(result) == PGRES_COMMAND_OK;
        PQclear(result);
        if (!ok)
            throw std::runtime_error(std::string(name) + ": " + PQerrorMessage(conn));
    }

    Prepared &bind(std::vector<QByteArray> values)
    {
        m_values = std::move(values);
        return *this;
    }

    // Runs it; returns the rows it changed or found. The first row's fields stay in `firstRow`.
    int run(std::vector<QByteArray> *firstRow = nullptr)
    {
        std::vector<const char *> pointers;
        for (const QByteArray &v : m_values)
            pointers.push_back(v.isNull() ? nullptr : v.constData());
        PGresult *result = PQexecPrepared(m_conn, m_name, int(pointers.size()), pointers.data(), nullptr,
                                          nullptr, 0);
        const ExecStatusType status = PQresultStatus(result);
        if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
            const std::string message = PQresultErrorMessage(result);
            PQclear(result);
            throw std::runtime_error(std::string(m_name) + ": " + message);
        }
        int rows = status == PGRES_TUPLES_OK ? PQntuples(result) : QByteArray(PQcmdTuples(result)).toInt();
        if (firstRow && PQntuples(result) > 0) {
            firstRow->clear();
            for (int c = 0; c < PQnfields(result); ++c)
                firstRow->push_back(PQgetisnull(result, 0, c) ? QByteArray() : QByteArray(PQgetvalue(result, 0, c)));
        }
        PQclear(result);
        return rows;
    }

private:
    PGconn *m_conn;
    const char *m_name;
    std::vector<QByteArray> m_values;
};

// "yyyy-MM-dd[ HH:mm:ss]" in the form the loader binds, by appending.
QByteArray isoTime(const QByteArray &text)
{
    return text.size() == 10 ? text + " 00:00:00.000" : text + ".000";
}

int runBaseline(const QString &folder, const QString &conninfo)
{
    QFile input(folder + QStringLiteral("/baseline.qzd"));
    input.open(QIODevice::ReadOnly);
    const QList<QByteArray> lines = input.readAll().split('\n');
    PGconn *conn = PQconnectdb(conninfo.toUtf8().constData());
    if (PQstatus(conn) != CONNECTION_OK)
        throw std::runtime_error(PQerrorMessage(conn));
    Prepared lookup(conn, "lookup",
                    "select Sender, Filename, QZServerReceiveTime, QZDeliveryTime, StatusTime, PracID, "
                    "FileType, RunNumber, ReadStatus from Tracking where MsgID=$1 limit 1");
    Prepared low(conn, "low",
                 "select QZDeliveryTime,QZServerReceiveTime from Tracking where MsgID=$1 and  QZDeliveryTime "
                 "in (select min(QZDeliveryTime) as MinQZDeliveryTime from Tracking where QZDeliveryTime is "
                 "not null and MsgId = $1)");
    Prepared receipt(conn, "receipt",
                     "update Tracking set QZDeliveryTime = $1, PracID = $2, Sender= $3 where MsgId = $4 and "
                     "(QZDeliveryTime is null or Sender is null or Sender = 'Unknown Sender')");
    Prepared status(conn, "status",
                    "update Tracking set ReadStatus = $1, StatusTime = $2, QZDeliveryTime= $3, Sender= $4 "
                    "where MsgId = $5 and (FileName =$6 or Filename is Null)");
    Prepared insert(conn, "insert",
                    "INSERT INTO Tracking (MsgID, Sender, Filename, QZServerReceiveTime, QZDeliveryTime, "
                    "PracID, FileType, LabId, RequestDate, AddresseeDoc, RequestingDoc, Patient, "
                    "PatientGiven, PatientAddress, PatientDOB, DocsPTRef, Test, CollectTime, ReportTime, "
                    "RunNumber) VALUES ($1, $2, $3, $4, $5, $6, $7, $8, $9, $10, $11, $12, $13, $14, $15, "
                    "$16, $17, $18, $19, $20)");
    Prepared messageRows(conn, "messageRows",
                         "select MsgId, Sender, PracId, QZDeliveryTime, Filename, StatusTime, ReadStatus "
                         "from Tracking where MsgId = $1");
    Prepared fileRows(conn, "fileRows",
                      "select MsgId, PracId, QZDeliveryTime, ReadStatus from Tracking where MsgId = $1 "
                      "and Filename = $2");
    Prepared begin(conn, "begin", "BEGIN");
    Prepared commit(conn, "commit", "COMMIT");
    const QByteArray now =
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")).toUtf8();

    const RunClock clock;
    std::vector<QByteArray> stored;
    for (qsizetype i = lines.size() - 1; i >= 0; --i) {
        const QByteArray line = lines.at(i).trimmed();
        if (!line.contains(','))
            continue;
        const QList<QByteArray> f = line.split(',');
        const QByteArray &id = f.last();
        const bool found = lookup.bind({id}).run(&stored) > 0;
        const QByteArray storedReceive = found ? stored.at(2) : QByteArray();
        const bool hasDelivery = !f[3].isEmpty();
        const bool hasStatus = !f[18].isEmpty();
        if ((hasDelivery && found) || (!hasDelivery && hasStatus)) {
            if (receipt.bind({hasDelivery ? isoTime(f[3]) : storedReceive, f[17], f[0], id}).run() == 0)
                messageRows.bind({id}).run();
            if (hasStatus) {
                const QByteArray file = f[1].toUpper();
                if (status.bind({f[18], now, storedReceive, f[0], id, file}).run() == 0)
                    fileRows.bind({id, file}).run();
            }
            continue;
        }
        low.bind({id}).run();
        begin.run();
        const int columns[] = {19, 0, 1, 2, 3, 17, 4, 5, 6, 7, 8, 9, 9, 10, 11, 12, 13, 14, 15, 16};
        std::vector<QByteArray> values;
        for (int c = 0; c < 20; ++c) {
            const QByteArray &v = f[columns[c]];
            if (c == 3 || c == 8 || c == 14)
                values.push_back(isoTime(v));
            else if (c == 4)
                values.push_back(QByteArray());
            else
                values.push_back(c == 2 ? v.toUpper() : v);
        }
        insert.bind(std::move(values)).run();
        commit.run();
    }
    clock.report();
    PQfinish(conn);
    return 0;
}

// ---- the run ------------------------------------------------------------------------------------

constexpr int Rounds = 3;

// The loader's table as its start-up leaves it, holding `rows` messages as the SQLite benchmark's.
void prefill(DbConnection &db, int rows)
{
    const SqlDialect &d = db.dialect();
    db.execute(d.createTrackingSql());
    db.execute(QStringLiteral(
                   "insert into Tracking (MsgID, Sender, Filename, QZServerReceiveTime, QZDeliveryTime, "
                   "PracID, FileType, LabId, Patient, PatientGiven, Test) select 'PRE' || lpad(n::text, 7, "
                   "'0'), 'lab@lab.example', 'PR' || (n % 400) || '_' || n || '.HL7', timestamp "
                   "'2023-01-01' + n * interval '30 seconds', case when n % 3 <> 0 then timestamp "
                   "'2023-01-01 01:00' + n * interval '30 seconds' end, 'PR' || (n % 400) || "
                   "'@lab.example', 'HL7', 'L' || n, 'Surname' || (n::bigint * 7919 % 50000), 'Anne', 'FBC' from "
                   "generate_series(0, %1 - 1) as n")
                   .arg(rows));
    indexAndAnalyzeTracking(db);
}

int runAll(int lineCount)
{
    QTemporaryDir work(QStringLiteral("/tmp/ovpgimport-XXXXXX"));
    PostgresServer server(work.path());
    QString error;
    if (!server.start(&error)) {
        std::fprintf(stderr, "bench_postgres_import: %s\n", qPrintable(error));
        return 1;
    }
    std::printf("Import of %d tracking lines on PostgreSQL, best of three runs each (5/10 new messages, "
                "3/10 receipts, 2/10 status notifications)\n",
                lineCount);
    std::printf("%10s %14s %14s %8s %10s\n", "rows", "loader line/s", "libpq line/s", "ratio", "cpu ratio");
    int run = 0;
    for (const int rows : {10000, 1000000}) {
        const QString loaderDb = QStringLiteral("loader%1").arg(rows);
        const QString baselineDb = QStringLiteral("baseline%1").arg(rows);
        QElapsedTimer fill;
        fill.start();
        {
            DbConnection db(QStringLiteral("/"));
            DbConnection admin(QStringLiteral("/"));
            admin.open(server.connectionString(QStringLiteral("postgres")));
            admin.execute(QStringLiteral("CREATE DATABASE ") + loaderDb);
            db.open(server.connectionString(loaderDb));
            prefill(db, rows);
            db.close();
            admin.execute(QStringLiteral("CREATE DATABASE %1 TEMPLATE %2").arg(baselineDb, loaderDb));
        }
        std::fprintf(stderr, "prefilled %d rows in %.1f s\n", rows, fill.elapsed() / 1000.0);
        const QString folder = work.path() + QStringLiteral("/r%1").arg(rows);
        QDir().mkpath(folder + QStringLiteral("/tracking"));
        const QString conninfo = QStringLiteral("host=%1 dbname=%2 user=%3")
                                     .arg(server.socketFolder(), baselineDb, PostgresServer::superuser());

        // The machine is shared: each side runs three times, alternating, and keeps its best run.
        Measurement loader{1e9, 0, 1e9};
        Measurement raw{1e9, 0, 1e9};
        for (int round = 0; round < Rounds; ++round) {
            const QByteArray lines = trackingLines(lineCount, rows, ++run);
            writeTrackingFile(folder + QStringLiteral("/tracking/lines.qzd"), lines);
            writeTrackingFile(folder + QStringLiteral("/baseline.qzd"), lines);
            const Measurement l =
                runChild({QStringLiteral("--loader"), folder, server.connectionString(loaderDb)});
            const Measurement b = runChild({QStringLiteral("--baseline"), folder, conninfo});
            loader.seconds = std::min(loader.seconds, l.seconds);
            loader.cpuSeconds = std::min(loader.cpuSeconds, l.cpuSeconds);
            raw.seconds = std::min(raw.seconds, b.seconds);
            raw.cpuSeconds = std::min(raw.cpuSeconds, b.cpuSeconds);
        }
        const double loaderRate = lineCount / loader.seconds;
        const double rawRate = lineCount / raw.seconds;
        std::printf("%10d %14.0f %14.0f %8.2f %10.2f\n", rows, loaderRate, rawRate, loaderRate / rawRate,
                    raw.cpuSeconds / loader.cpuSeconds);
        std::fflush(stdout);
    }
    std::printf("target: loader/libpq >= 0.80 at every size\n(cpu ratio: libpq's processor time over the "
                "loader's, client side only)\n");
    server.stop();
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    try {
        if (args.size() == 4 && args[1] == QLatin1String("--loader"))
            return runLoaderImport(args[2], args[3]);
        if (args.size() == 4 && args[1] == QLatin1String("--baseline"))
            return runBaseline(args[2], args[3]);
        return runAll(args.size() > 1 ? args[1].toInt() : 3000);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
}
