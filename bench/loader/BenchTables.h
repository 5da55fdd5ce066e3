#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <sqlite3.h>

// What the loader benchmarks share: tables as the loader's start-up leaves them, tracking lines of
// the usual mix, and child runs that report their time and peak memory.

long peakMemoryKb();
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
};

// Runs this program again with `arguments`; the child prints "seconds maxrss-kB".
Measurement runChild(const QStringList &arguments);
