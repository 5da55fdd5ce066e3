#include "loader/FieldValues.h"
#include "loader/OVTrackSvcForm.h"
#include "loader/TrackingRetention.h"

namespace {

// One slice per turn of the loop: short enough that the import, which runs on the same thread,
// is never held up for long.
constexpr std::chrono::milliseconds SliceLength{150};
// What one batch should take at most, so that a search or a /PRUNE alongside waits no longer.
constexpr std::chrono::milliseconds BatchTimeTarget{50};

} // namespace

void TsvcOVTrack::runRetentionSlice(const QDateTime &now)
{
    if (RetainDays <= 0 || ProcessingHalted || m_waitingForDatabase)
        return;
    try {
        if (!m_retention) {
            if (m_nextRetention.isValid() && now < m_nextRetention)
                return;
            m_nextRetention = now.addDays(1);
            m_retention = std::make_unique<TrackingRetention>(adoConn1, RetainDays, now);
            m_retention->setBatchTimeTarget(BatchTimeTarget);
            if (const QString withoutIndex = m_retention->ensureContentIndex(); !withoutIndex.isEmpty())
                WriteLog(2, withoutIndex);
        }
        if (!m_retention->runFor(SliceLength))
            finishRetentionRun();
    } catch (const std::exception &e) {
        // The next day's run starts afresh; what was deleted so far stays deleted.
        WriteLog(2, QStringLiteral("Retention failed: ") + errorText(e));
        m_retention.reset();
    }
}

void TsvcOVTrack::runRetentionToEnd(const QDateTime &now)
{
    m_nextRetention = QDateTime();
    runRetentionSlice(now);
    while (m_retention)
        runRetentionSlice(now);
}

void TsvcOVTrack::finishRetentionRun()
{
    WriteLog(1, m_retention->summary(false, m_retention->deleted()));
    m_retention.reset();
}
