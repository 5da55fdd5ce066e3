// Runs the loader's real loop (start-up, turns, imports, content store) in this process for 1 000
// turns with a batch of sample messages before every pass, and prints the peak resident memory after
// the first 100 turns and after all of them. Waits are skipped so the run takes seconds.

#include "bench/ProcessStatus.h"
#include "loader/OVTrackSvcForm.h"
#include "loader/ServiceControl.h"
#include "tests/service/FileAge.h"
#include "tools/prepare-run/ProgramFolder.h"
#include "tools/sample-tracking/SampleTracking.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

namespace {

// Drops a batch of sample messages before each pass and ends the loop after the last turn.
class BenchControl final : public ServiceControl
{
public:
    BenchControl(QString trackingDir, int turns, int messagesPerBatch)
        : m_trackingDir(std::move(trackingDir)), m_turns(turns), m_perBatch(messagesPerBatch)
    {}

    void handleRequests() override
    {
        ++m_turn;
        if (m_turn % 10 == 0) {
            const SampleTracking::Summary summary = m_samples.writeInto(
                m_trackingDir, m_perBatch, m_nextMessage, QStringLiteral("t%1_").arg(m_turn));
            m_nextMessage += summary.messages;
            for (const QFileInfo &file : QDir(m_trackingDir).entryInfoList(QDir::Files))
                makeSettled(file.filePath());
        }
        if (m_turn == 100) {
            m_peakAfter100 = statusKilobytes("VmHWM:");
            m_rssAfter100 = statusKilobytes("VmRSS:");
        }
    }
    bool stopRequested() const override { return m_turn >= m_turns; }

    int messages() const { return m_nextMessage - 1; }
    long peakAfter100() const { return m_peakAfter100; }
    long rssAfter100() const { return m_rssAfter100; }

private:
    QString m_trackingDir;
    int m_turns;
    int m_perBatch;
    int m_turn = 0;
    int m_nextMessage = 1;
    long m_peakAfter100 = -1;
    long m_rssAfter100 = -1;
    SampleTracking m_samples;
};

} // namespace

int main(int argc, char **argv)
{
    const QCoreApplication app(argc, argv);
    // An optional argument runs more turns, to see whether the figure keeps climbing.
    const int Turns = argc > 1 ? std::max(200, QByteArray(argv[1]).toInt()) : 1000;
    constexpr int MessagesPerPass = 10;
    QTemporaryDir folder;
    const QString tracking = folder.path() + QStringLiteral("/tracking/");
    ProgramFolder::prepare(folder.path(), tracking);

    QElapsedTimer clock;
    clock.start();
    BenchControl control(tracking, Turns, MessagesPerPass);
    int tracked = 0;
    int stored = 0;
    {
        TsvcOVTrack loader(folder.path(),
                           {QStringLiteral("svcOVTrack"), QStringLiteral("/logging"), QStringLiteral("3")});
        loader.Sleep = [](int) {};
        loader.ServiceExecute(control);
        DbStatement count(loader.adoConn1, QStringLiteral("select (select count(*) from Tracking) as t, "
                                                          "(select count(*) from HM_CONTENT) as c"));
        const DbResult result = count.open();
        tracked = static_cast<int>(result.integer(0, QStringLiteral("t")).value_or(0));
        stored = static_cast<int>(result.integer(0, QStringLiteral("c")).value_or(0));
        loader.ServiceDestroy();
    }
    const long peakAfterAll = statusKilobytes("VmHWM:");
    const long rssAfterAll = statusKilobytes("VmRSS:");

    std::printf("loader loop: %d turns, %d messages dropped, %d rows in Tracking, %d in HM_CONTENT, %.1f s\n",
                Turns, control.messages(), tracked, stored, clock.elapsed() / 1000.0);
    std::printf("peak resident memory after  100 turns: %6ld kB (resident %ld kB)\n", control.peakAfter100(),
                control.rssAfter100());
    std::printf("peak resident memory after %4d turns: %6ld kB (resident %ld kB)\n", Turns, peakAfterAll,
                rssAfterAll);
    const double ratio = static_cast<double>(peakAfterAll) / static_cast<double>(control.peakAfter100());
    std::printf("ratio: %.3f (target at most 1.10) %s\n", ratio, ratio <= 1.10 ? "ok" : "ABOVE TARGET");
    return 0;
}
