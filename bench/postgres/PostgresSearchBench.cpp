#include "bench/postgres/PostgresBenchTables.h"
#include "bench/viewer/SearchScenarios.h"
#include "shared/tracking/DbConnection.h"
#include "shared/tracking/DbStatement.h"
#include "tests/support/PostgresServer.h"
#include "viewer/search/TrackQueryComposer.h"
#include "viewer/search/TrackResultModel.h"
#include "viewer/search/TrackSearch.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <libpq-fe.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <stdexcept>
#include <vector>

// Times RunTrackQuery (count, open, the first rows in the model) for four searches on a private
// PostgreSQL server over 10 000 and 1 000 000 rows, against the same statements with the same
// values through libpq in the same run, and prints the plan of each search.
// Usage: bench_postgres [rows ...]   (10000 and 1000000 by default)
namespace {

// Searches of a small table take about a millisecond, where the server's own noise shows; on the
// large one the server's parallel workers share the two cores with the client. Each side's median
// is taken over this many runs.
int repeatsFor(int rows)
{
    return rows <= 10000 ? 41 : 9;
}

constexpr int BaselineRows = 100;
const QDateTime Now(QDate(2024, 6, 30), QTime(18, 0));

double medianMs(std::vector<double> times)
{
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

void fill(DbConnection &db, int rows)
{
    const SqlDialect &d = db.dialect();
    db.execute(d.createTrackingSql());
    db.execute(
        QStringLiteral(
            "insert into Tracking (MsgID, Sender, Filename, QZServerReceiveTime, QZDeliveryTime, PracID, "
            "FileType, LabId, AddresseeDoc, Patient, PatientGiven, Test, ReadStatus, RunNumber) select "
            "'Q' || (10000000 + n), 'LAB' || (n % 20), 'Q' || n || '.hl7', r, case when n % 100 < 8 then "
            "null when n % 100 < 11 then timestamp '1900-01-01' when n % 100 < 12 then timestamp "
            "'1905-06-07' when n % 100 < 13 then timestamp '2001-01-01' else r + interval '1 hour' end, "
            "'P' || (1000 + (cast(n as bigint) * 7919) % 500), 'HL7', 'L' || (5000000 + n), 'Dr ' || "
            "(array['SMITH', "
            "'JONES', 'BROWN', 'TAYLOR', 'PATEL', 'WALKER'])[1 + (n * 31) % 6], (array['SMITH', 'JONES', "
            "'WILLIAMS', 'BROWN', 'TAYLOR', 'DAVIES', 'EVANS', 'WILSON', 'THOMAS', 'JOHNSON', 'ROBERTS', "
            "'PATEL', 'HILL'])[1 + (n * 17) % 13] || ((n * 13) % 50), 'Ann', 'FBC', case when n % 3 = 0 "
            "then 1 + n % 6 end, 'R' || (n % 1000) from (select n, timestamp '2022-07-01' + (n * "
            "interval '1 second' * (63072000 / %1)) as r from generate_series(1, %1) as n) as g")
            .arg(rows));
    indexAndAnalyzeTracking(db);
}

// A composed statement in libpq's form: ":Name" becomes "$n", values as the access layer sends them.
struct RawStatement
{
    QByteArray text;
    std::vector<QByteArray> values;
};

RawStatement rawStatement(DbConnection &db, const QString &text, const ComposedTrackQuery &composed)
{
    DbStatement probe(db, text);
    QStringList names = probe.parameterNames();
    RawStatement raw;
    QString sql = text;
    QStringList byLength = names;
    std::sort(byLength.begin(), byLength.end(),
              [](const QString &a, const QString &b) { return a.size() > b.size(); });
    for (const QString &name : byLength)
        sql.replace(QRegularExpression(u':' + name + QStringLiteral("\\b"),
                                       QRegularExpression::CaseInsensitiveOption),
                    u'$' + QString::number(names.indexOf(name) + 1));
    raw.text = sql.toUtf8();
    for (const QString &name : names) {
        for (const QueryParameter &p : composed.parameters) {
            if (p.name.compare(name, Qt::CaseInsensitive) != 0)
                continue;
            raw.values.push_back(
                p.type == ParamType::DateTime
                    ? db.dialect().dateTimeParameter(p.value.toDateTime()).toString().toUtf8()
                    : p.value.toString().toUtf8());
        }
    }
    return raw;
}

PGresult *run(PGconn *conn, const RawStatement &s)
{
    std::vector<const char *> values;
    for (const QByteArray &v : s.values)
        values.push_back(v.constData());
    PGresult *result = PQexecParams(conn, s.text.constData(), int(values.size()), nullptr, values.data(),
                                    nullptr, nullptr, 0);
    if (PQresultStatus(result) != PGRES_TUPLES_OK)
        throw std::runtime_error(PQresultErrorMessage(result));
    return result;
}

void drain(PGconn *conn)
{
    while (PGresult *result = PQgetResult(conn))
        PQclear(result);
}

// Sends the statement and reads the rows the viewer shows first, one at a time as the server sends
// them, each field looked at; the rest is left on the connection.
void readFirstRows(PGconn *conn, const RawStatement &s)
{
    std::vector<const char *> values;
    for (const QByteArray &v : s.values)
        values.push_back(v.constData());
    if (!PQsendQueryParams(conn, s.text.constData(), int(values.size()), nullptr, values.data(), nullptr,
                           nullptr, 0) ||
        !PQsetSingleRowMode(conn))
        throw std::runtime_error(PQerrorMessage(conn));
    qsizetype seen = 0;
    for (int row = 0; row < BaselineRows; ++row) {
        PGresult *result = PQgetResult(conn);
        const ExecStatusType status = PQresultStatus(result);
        if (status != PGRES_SINGLE_TUPLE) {
            PQclear(result);
            if (status != PGRES_TUPLES_OK)
                throw std::runtime_error(PQerrorMessage(conn));
            break;
        }
        for (int col = 0; col < PQnfields(result); ++col)
            seen += qstrlen(PQgetvalue(result, 0, col));
        PQclear(result);
    }
    if (seen < 0)
        std::printf("%lld\n", static_cast<long long>(seen)); // keeps the reads
}

void benchmark(PostgresServer &server, int rows)
{
    const QString name = QStringLiteral("bench%1").arg(rows);
    {
        DbConnection admin(QStringLiteral("/"));
        admin.open(server.connectionString(QStringLiteral("postgres")));
        admin.execute(QStringLiteral("DROP DATABASE IF EXISTS ") + name);
        admin.execute(QStringLiteral("CREATE DATABASE ") + name);
    }
    QElapsedTimer made;
    made.start();
    {
        // Made on a session of its own, as the loader would: the session that has just written and
        // indexed a million rows runs the searches about twice as slowly as a fresh one, on the
        // server's side (raw libpq on that same session is as slow), which no viewer ever meets.
        DbConnection loader(QStringLiteral("/"));
        loader.open(server.connectionString(name));
        fill(loader, rows);
    }
    DbConnection db(QStringLiteral("/"));
    db.open(server.connectionString(name));
    std::printf("%d rows made in %.1f s\n", rows, made.elapsed() / 1000.0);
    // libpq on a connection of its own to the same database: two sessions are two server processes,
    // and on a small machine where each lands against its client can weigh at 10 000 rows.
    const QString conninfo = QStringLiteral("host=%1 dbname=%2 user=%3")
                                 .arg(server.socketFolder(), name, PostgresServer::superuser());
    std::unique_ptr<PGconn, decltype(&PQfinish)> raw(PQconnectdb(conninfo.toUtf8().constData()), &PQfinish);
    PGconn *conn = raw.get();
    if (PQstatus(conn) != CONNECTION_OK)
        throw std::runtime_error(PQerrorMessage(conn));

    double worst = 0;
    for (const SearchScenario &scenario : searchScenarios()) {
        SearchCriteria criteria = SearchCriteria::atStartup(Now.date());
        scenario.tick(criteria);
        const QString sortOrder = QStringLiteral("MsgID");
        const ComposedTrackQuery composed =
            TrackQueryComposer(db.dialect()).compose(criteria, sortOrder, Now);
        const RawStatement count =
            rawStatement(db, composed.countLines.join(QStringLiteral("\r\n")), composed);
        const RawStatement track =
            rawStatement(db, composed.trackLines.join(QStringLiteral("\r\n")), composed);
        std::vector<double> viewerTimes, rawTimes;
        qint64 found = 0;
        for (int i = 0; i < repeatsFor(rows); ++i) {
            TrackResultModel model;
            TrackSearch search(db, model);
            QElapsedTimer t;
            t.start();
            if (search.RunTrackQuery(criteria, sortOrder, Now).outcome != TrackSearch::Outcome::Opened)
                throw std::runtime_error("the search did not open");
            model.rowCount();
            viewerTimes.push_back(t.nsecsElapsed() / 1e6);
            found = search.TrackCount();

            model.cancelRead(); // the viewer's read ends before libpq's starts

            t.restart();
            PQclear(run(conn, count));
            readFirstRows(conn, track);
            rawTimes.push_back(t.nsecsElapsed() / 1e6);
            drain(conn);
        }
        const double ratio = medianMs(viewerTimes) / medianMs(rawTimes);
        worst = std::max(worst, ratio);
        std::printf("%-22s %9d %8lld %10.2f %10.2f %7.2f\n", scenario.name, rows, found,
                    medianMs(viewerTimes), medianMs(rawTimes), ratio);
        PGresult *plan = run(conn, {"explain " + count.text, count.values});
        for (int row = 0; row < PQntuples(plan); ++row)
            std::printf("    %s\n", PQgetvalue(plan, row, 0));
        PQclear(plan);
    }
    std::printf("worst ratio on %d rows %.2f (target at most 1.30)\n", rows, worst);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir folder(QStringLiteral("/tmp/ovpgbench-XXXXXX"));
    PostgresServer server(folder.path());
    QString error;
    if (!server.start(&error)) {
        std::fprintf(stderr, "bench_postgres: %s\n", qPrintable(error));
        return 1;
    }
    int status = 0;
    try {
        std::printf("%-22s %9s %8s %10s %10s %7s\n", "search", "rows", "found", "viewer ms", "libpq ms",
                    "ratio");
        std::vector<int> sizes;
        for (int i = 1; i < argc; ++i)
            sizes.push_back(QByteArray(argv[i]).toInt());
        if (sizes.empty())
            sizes = {10000, 1000000};
        for (int rows : sizes)
            benchmark(server, rows);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "bench_postgres: %s\n", e.what());
        status = 1;
    }
    server.stop();
    return status;
}
