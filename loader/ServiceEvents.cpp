#include "loader/FieldValues.h"
#include "loader/OVTrackSvcForm.h"
#include "loader/ServiceControl.h"

#include "shared/db/DbError.h"
#include "shared/text/WallClock.h"

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
    // A database that start-up could not reach is waited for as one lost between passes.
    int sleepInterval = m_waitingForDatabase ? BackOffMilliseconds : TurnMilliseconds;
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
    if (!ProcessingHalted && runPeriodicWork() && FileLooks.isWaiting()) {
        // A file stamped in the future is settled only by a second look: a run started by a
        // scheduler gives it that look rather than leave it to a next run that would look once too.
        Sleep(static_cast<int>(QuiescenceMilliseconds));
        TrackingTableMissing = false;
        runPeriodicWork();
    }
    if (!m_waitingForDatabase)
        runRetentionToEnd(WallClock::now());
    if (LoggingEnabled)
        ReopenLog();
    // The lines wait in their files; the run must not report success.
    if (m_waitingForDatabase)
        throw DbError(DbError::Kind::ConnectionLost, m_unreachableReason);
}

bool TsvcOVTrack::runPeriodicWork()
{
    m_waitingForDatabase = false;
    if (!adoConn1.isOpen()) {
        try {
            adoConn1.open();
        } catch (const std::exception &e) {
            ++UnwrittenFiles;
            waitForDatabase(errorText(e));
            return false;
        }
        WriteLog(1, QStringLiteral("Database Connection Reconnected"));
    }
    try {
        if (!m_databasePrepared)
            prepareDatabase();
        doImport();
        if (!TrackingTableMissing && !m_waitingForDatabase)
            StoreContentFiles();
    } catch (const DbError &e) {
        // A session found gone at any statement of the pass (a server restarted since the last
        // pass fails the first one) is an outage to wait out, not a fault that ends the service.
        if (!e.isConnectionLost())
            throw;
        waitForDatabase(e.message());
    }
    return !m_waitingForDatabase;
}

void TsvcOVTrack::waitForDatabase(const QString &reason)
{
    adoConn1.close();
    m_unreachableReason = reason;
    if (!m_waitingForDatabase)
        WriteLog(3, QStringLiteral("Database Connection Lost. Waiting 100 Seconds."));
    m_waitingForDatabase = true;
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
