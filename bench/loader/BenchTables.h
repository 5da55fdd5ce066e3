#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QString>
#include <QStringList>

#include <sqlite3.h>

// What the loader benchmarks share: tables as the loader's start-up leaves them, tracking lines of
// the usual mix, and child runs that report their time and peak memory.

long peakMemoryKb();

// The measured part of a child run: wall time and, since the machine may be shared, the processor
// time the run used. report() prints "seconds maxrss-kB cpu-seconds".
class RunClock
{
public:
    RunClock();
    void report() const;

private:
    QElapsedTimer m_wall;
    double m_cpuAtStart = 0;
};
void check(int rc, sqlite3 *db, const char *what);
void exec(sqlite3 *db, const QString &sql);

QString prefilledId(int i);
// A table as the loader's start-up leaves it, holding `rows` messages, about a third still waiting.
void prefill(const QString &file, int rows);
// Half new messages, three in ten receipts and two in ten status notifications of stored messages.
QByteArray trackingLines(int count, int storedRows, int run);

struct Measurement
{
    double seconds = 0;
    long peakKb = 0;
    double cpuSeconds = 0;
};

// Writes a tracking file whose time says it is complete (ten seconds old).
void writeTrackingFile(const QString &path, const QByteArray &lines);

// One import pass of the loader over `folder`/tracking into the database of `connectionString`
// (created when it is a missing SQLite file); prints what RunClock::report() prints.
int runLoaderImport(const QString &folder, const QString &connectionString);

// Runs this program again with `arguments`; the child prints what RunClock::report() prints.
Measurement runChild(const QStringList &arguments);
