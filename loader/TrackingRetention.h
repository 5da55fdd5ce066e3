#pragma once

#include <QDateTime>
#include <QString>

#include <chrono>
#include <functional>
#include <optional>

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
    static constexpr int SmallestBatch = 50;
    // The first batch under a time target: how long a thousand rows take is not known until one
    // batch has run, and on a large table the guess of a thousand can hold a writer up for long.
    static constexpr int FirstTimedBatch = 100;

    // Rows received more than `retainDays` days before `now` may go.
    TrackingRetention(DbConnection &connection, int retainDays, const QDateTime &now);

    const QDateTime &cutoff() const { return m_cutoff; }
    int retainDays() const { return m_retainDays; }

    // The counts a run would reach; changes nothing.
    RetentionCounts preview();

    // The lookup of content by message id; created where missing, as retention deletes by it. A role
    // that may delete rows but not create the index prunes without it: the level-2 line that says so
    // is returned, empty when the index is there.
    QString ensureContentIndex();

    // One batch in its own transaction; false once nothing is left to delete. Throws DbError after
    // rolling the batch back.
    bool deleteBatch();
    // Batches while the next one is likely to end within `slice`; false once nothing is left.
    bool runFor(std::chrono::milliseconds slice);
    // Batches until none is left; `pause` runs between two batches with the last one's duration.
    void runToEnd(const std::function<void(std::chrono::milliseconds batchTime)> &pause = {});

    // Batches shrink below BatchSize (down to SmallestBatch) when one takes longer than `target`, and
    // grow back when they are quick: on a slow disk a thousand rows with their indexes can hold a
    // writer up for longer than anyone should wait. Off until set; setting it starts the next
    // batch at FirstTimedBatch rows.
    void setBatchTimeTarget(std::chrono::milliseconds target);
    int batchSize() const { return m_batchSize; }

    const RetentionCounts &deleted() const { return m_deleted; }
    // The level-1 log line and the /PRUNE report.
    QString summary(bool dryRun, const RetentionCounts &counts) const;

private:
    DbConnection &m_connection;
    int m_retainDays;
    QDateTime m_cutoff;
    RetentionCounts m_deleted;
    bool m_finished = false;
    int m_batchSize = BatchSize;
    std::optional<std::chrono::milliseconds> m_batchTimeTarget;

    void adaptBatchSize(qint64 batchNanoseconds);
};
