#include "loader/OVTrackSvcForm.h"
#include "loader/ServiceControl.h"
#include "shared/WallClock.h"

#include <algorithm>

namespace {

constexpr int TurnMilliseconds = 1000;
constexpr int BackOffMilliseconds = 10000;
constexpr int TurnsPerWork = 10;

// Attaches the host's control for the content store's delete retry while a routine runs.
class AttachedControl
{
public:
    AttachedControl(ServiceControl *&slot, ServiceControl &control) : m_slot(slot) { m_slot = &control; }
    ~AttachedControl() { m_slot = nullptr; }
    AttachedControl(const AttachedControl &) = delete;
    AttachedControl &operator=(const AttachedControl &) = delete;

private:
    ServiceControl *&m_slot;
};

} // namespace

void TsvcOVTrack::ServiceCreate()
{
    // The file version is compiled into the program: there is no version reader to create.
}

void TsvcOVTrack::ServiceStart()
{
    // All start-up work runs in ServiceExecute.
}

void TsvcOVTrack::ServiceExecute(ServiceControl &control)
{
    const AttachedControl attached(m_control, control);
    InitialzeSettings();
    int sleepInterval = TurnMilliseconds;
    int turns = 0;
    while (!control.stopRequested()) {
        Sleep(sleepInterval);
        control.handleRequests();
        // Saturates instead of overflowing while processing stays halted for a long time.
        turns = std::min(turns + 1, TurnsPerWork);
        TrackingTableMissing = false;
        if (!ProcessingHalted && turns >= TurnsPerWork) {
            turns = 0;
            if (!runPeriodicWork()) {
                sleepInterval = BackOffMilliseconds;
                continue; // the failing turn ends at once, log not reopened
            }
            sleepInterval = TurnMilliseconds;
        }
        runRetentionSlice(WallClock::now());
        if (LoggingEnabled)
            ReopenLog();
    }
}

void TsvcOVTrack::ServiceExecuteOnce(ServiceControl &control)
{
    const AttachedControl attached(m_control, control);
    InitialzeSettings();
    TrackingTableMissing = false;
    if (!ProcessingHalted)
        runPeriodicWork();
    runRetentionToEnd(WallClock::now());
    if (LoggingEnabled)
        ReopenLog();
}

bool TsvcOVTrack::runPeriodicWork()
{
    if (!adoConn1.isOpen()) {
        bool reopened = true;
        try {
            adoConn1.open();
        } catch (const std::exception &) {
            reopened = false;
        }
        if (!reopened) {
            ++UnwrittenFiles;
            WriteLog(3, QStringLiteral("Database Connection Lost. Waiting 100 Seconds."));
            return false;
        }
        WriteLog(1, QStringLiteral("Database Connection Reconnected"));
    }
    doImport();
    if (!TrackingTableMissing)
        StoreContentFiles();
    return true;
}

void TsvcOVTrack::ServicePause()
{
    WriteLog(1, QStringLiteral("Service paused."));
}

void TsvcOVTrack::ServiceContinue()
{
    if (ConnectionString.isEmpty() || TrackingDir.isEmpty()) {
        WriteLog(1, QStringLiteral("Cannot resume, Trackingdir or Connection string missing."));
        return;
    }
    ProcessingHalted = false;
    ReadLoggingSettings();
    WriteLog(1, QStringLiteral("Service Resumed."));
    WriteLog(1, QStringLiteral("LoggingLevel is: ") + QString::number(LoggingLevel));
    if (LoggingEnabled) {
        WriteLog(1, QStringLiteral("close and open traking log file"));
        ReopenLog();
    }
}

void TsvcOVTrack::ServiceStop()
{
    if (LoggingEnabled)
        WriteLog(2, QStringLiteral("Service Stopped."));
}

void TsvcOVTrack::ServiceDestroy()
{
    try {
        CloseLog();
    } catch (...) {
        // Nothing can be reported any more.
    }
}
