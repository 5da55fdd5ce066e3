#pragma once

#include <QDateTime>
#include <QString>

#include <chrono>
#include <functional>

class DbConnection;

// What a retention run deleted, or would delete.
struct RetentionCounts
{
    qint64 trackingRows = 0;
    qint64 contentRows = 0;
    int batches = 0;
};

// Deletes the Tracking rows received before a cut-off whose outcome is settled (delivered, emailed,
// managed), and the HM_CONTENT rows of messages left with no tracking row. Content that arrived
// before its tracking line has no row to delete and stays. Works in transactions of at most
// BatchSize rows, so that a writer waiting for the database waits for one batch at most.
class TrackingRetention
{
public:
    static constexpr int BatchSize = 1000;

    // Rows received more than `retainDays` days before `now` may go.
    TrackingRetention(DbConnection &connection, int retainDays, const QDateTime &now);

    const QDateTime &cutoff() const { return m_cutoff; }
    int retainDays() const { return m_retainDays; }

    // The counts a run would reach; changes nothing.
    RetentionCounts preview();

    // The lookup of content by message id; created where missing, as retention deletes by it.
    void ensureContentIndex();

    // One batch in its own transaction; false once nothing is left to delete. Throws DbError after
    // rolling the batch back.
    bool deleteBatch();
    // Batches until none is left or `slice` has passed; false once nothing is left.
    bool runFor(std::chrono::milliseconds slice);
    // Batches until none is left; `pause` runs between two batches with the last one's duration.
    void runToEnd(const std::function<void(std::chrono::milliseconds batchTime)> &pause = {});

    const RetentionCounts &deleted() const { return m_deleted; }
    // The level-1 log line and the /PRUNE report.
    QString summary(bool dryRun, const RetentionCounts &counts) const;

private:
    DbConnection &m_connection;
    int m_retainDays;
    QDateTime m_cutoff;
    RetentionCounts m_deleted;
    bool m_finished = false;
};
