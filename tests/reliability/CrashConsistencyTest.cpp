#include "tests/reliability/TrackingLedger.h"
#include "tests/service/FileAge.h"
#include "tests/service/LoaderProgram.h"
#include "tools/prepare-run/ProgramFolder.h"
#include "tools/sample-tracking/SampleTracking.h"

#include <QDir>
#include <QRandomGenerator>
#include <QThread>

#include <gtest/gtest.h>

#include <signal.h>

#include <cstdio>
#include <random>

namespace {

constexpr int Runs = 30;
constexpr int MessagesPerRun = 1200; // about 2,300 lines in some 90 files, and 400 content files
constexpr int TurnMilliseconds = 5;

quint32 crashSeed()
{
    bool given = false;
    const quint32 seed = qEnvironmentVariable("OVTRACK_CRASH_SEED").toUInt(&given);
    return given ? seed : std::random_device{}();
}

void settleAll(const QString &folder)
{
    for (const QString &name : QDir(folder).entryList(QDir::Files))
        makeSettled(folder + name);
}

// Starts the service, lets it work for `milliseconds` and kills it without warning.
void runAndKill(LoaderProgram &program, int milliseconds)
{
    program.start({}, TurnMilliseconds);
    QThread::msleep(static_cast<unsigned long>(milliseconds));
    program.sendSignal(SIGKILL);
    program.waitForExit(10000);
}

// Runs the service until the tracking folder holds nothing it could still take, then stops it.
void runToTheEnd(LoaderProgram &program)
{
    program.start({}, TurnMilliseconds);
    LoaderProgram::waitFor([&] { return program.waitingFiles() == 0; }, 60000);
    QThread::msleep(100);
    program.sendSignal(SIGTERM);
    program.waitForExit(20000);
}

TEST(CrashConsistency, KilledAtRandomMomentsTheLoaderLosesNoLineNorContentFile)
{
    const quint32 seed = crashSeed();
    std::printf("crash consistency: seed %u (set OVTRACK_CRASH_SEED to repeat)\n", seed);
    QRandomGenerator random(seed);
    TrackingLedger::Outcome total;
    int lossFreeRuns = 0;

    for (int run = 1; run <= Runs; ++run) {
        LoaderProgram program;
        SampleTracking(seed + static_cast<quint32>(run))
            .writeInto(program.trackingDir(), MessagesPerRun, 1, QStringLiteral("r%1_").arg(run));
        settleAll(program.trackingDir());
        const TrackingLedger ledger(program.trackingDir());

        const int killAfter = random.bounded(50, 1500);
        runAndKill(program, killAfter);
        const int waitingAfterKill = program.waitingFiles();
        runToTheEnd(program);

        DbConnection database(program.folder());
        database.open(ProgramFolder::sqliteInitString());
        const TrackingLedger::Outcome outcome = ledger.verify(database);
        database.close();

        std::printf(
            "run %2d: killed after %4d ms with %3d files waiting; %d lines: %d in Tracking, %d waiting, "
            "%d lost, %d messages over their rows; %d content files: %d stored, %d waiting, %d lost; "
            "integrity %s\n",
            run, killAfter, waitingAfterKill, outcome.lines, outcome.linesInTracking, outcome.linesWaiting,
            outcome.linesLost, outcome.messagesWithTooManyRows, outcome.contentFiles, outcome.contentStored,
            outcome.contentWaiting, outcome.contentLost, qPrintable(outcome.integrity));
        std::fflush(stdout);
        EXPECT_EQ(outcome.linesLost, 0) << "run " << run << ": " << outcome.faults.join('\n').toStdString();
        EXPECT_EQ(outcome.messagesWithTooManyRows, 0)
            << "run " << run << ": " << outcome.faults.join('\n').toStdString();
        EXPECT_EQ(outcome.contentLost, 0) << "run " << run << ": " << outcome.faults.join('\n').toStdString();
        EXPECT_EQ(outcome.integrity, QStringLiteral("ok")) << "run " << run;
        if (outcome.linesLost == 0 && outcome.messagesWithTooManyRows == 0 && outcome.contentLost == 0 &&
            outcome.integrity == QStringLiteral("ok"))
            ++lossFreeRuns;
        total.lines += outcome.lines;
        total.linesInTracking += outcome.linesInTracking;
        total.linesWaiting += outcome.linesWaiting;
        total.contentFiles += outcome.contentFiles;
        total.contentStored += outcome.contentStored;
    }
    std::printf("crash consistency: %d of %d runs clean; %d lines (%d in Tracking, %d waiting), %d content "
                "files (%d stored)\n",
                lossFreeRuns, Runs, total.lines, total.linesInTracking, total.linesWaiting,
                total.contentFiles, total.contentStored);
    EXPECT_EQ(lossFreeRuns, Runs);
}

} // namespace
