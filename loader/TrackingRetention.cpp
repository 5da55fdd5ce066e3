#include "loader/TrackingRetention.h"

#include "shared/tracking/DbConnection.h"
#include "shared/db/DbError.h"
#include "shared/tracking/DbStatement.h"

#include <QElapsedTimer>
#include <QSet>

#include <algorithm>

namespace {

const QString ContentTable = QStringLiteral("HM_CONTENT");
const QString ContentIndex = QStringLiteral("IX_HM_CONTENT_MsgID");

// Content of a message with no tracking row left. Only ids retention has just deleted are tried,
// so content still waiting for its first tracking line is never touched.
const QString DeleteOrphanedContent = QStringLiteral(
    "delete from HM_CONTENT where MsgID = :MsgID and not exists (select 1 from Tracking as t where "
    "t.MsgID = HM_CONTENT.MsgID)");

bool tableExists(DbConnection &connection, const QString &name)
{
    DbStatement probe(connection, connection.dialect().tableExistsSql(name));
    return !probe.open().isEmpty();
}

qint64 countOf(DbStatement &statement)
{
    return statement.open().integer(0, QStringLiteral("n")).value_or(0);
}

} // namespace

TrackingRetention::TrackingRetention(DbConnection &connection, int retainDays, const QDateTime &now)
    : m_connection(connection), m_retainDays(retainDays), m_cutoff(now.addDays(-retainDays))
{}

RetentionCounts TrackingRetention::preview()
{
    const SqlDialect &dialect = m_connection.dialect();
    RetentionCounts counts;
    DbStatement rows(m_connection, QStringLiteral("select count(*) as n from Tracking where ") +
                                       dialect.settledBeforeCutoffSql());
    rows.bind(QStringLiteral("Cutoff"), ParamType::DateTime, m_cutoff);
    counts.trackingRows = countOf(rows);
    counts.batches = int((counts.trackingRows + BatchSize - 1) / BatchSize);
    if (!tableExists(m_connection, ContentTable))
        return counts;
    // A message's content goes when every one of its rows goes.
    DbStatement content(
        m_connection, QStringLiteral("select count(*) as n from HM_CONTENT where MsgID in (select MsgID from "
                                     "Tracking where ") +
                          dialect.settledBeforeCutoffSql() +
                          QStringLiteral(") and not exists (select 1 from Tracking as t where t.MsgID = "
                                         "HM_CONTENT.MsgID and not (") +
                          dialect.settledBeforeCutoffSql(QStringLiteral("t.")) + QStringLiteral("))"));
    content.bind(QStringLiteral("Cutoff"), ParamType::DateTime, m_cutoff);
    counts.contentRows = countOf(content);
    return counts;
}

QString TrackingRetention::ensureContentIndex()
{
    if (!tableExists(m_connection, ContentTable))
        return {};
    const SqlDialect &dialect = m_connection.dialect();
    const auto indexExists = [&] {
        DbStatement probe(m_connection, dialect.indexExistsSql(ContentIndex));
        return !probe.open().isEmpty();
    };
    if (indexExists())
        return {};
    try {
        m_connection.execute(dialect.createIndexSql(ContentIndex, ContentTable, QStringLiteral("MsgID")));
        return {};
    } catch (const DbError &error) {
        // Another program may have made it meanwhile; else the role may delete but not create it.
        if (indexExists())
            return {};
        return QStringLiteral("Retention: the index %1 could not be created (%2); content is pruned "
                              "without it, which is slower.")
            .arg(ContentIndex, error.message());
    }
}

bool TrackingRetention::deleteBatch()
{
    if (m_finished)
        return false;
    const bool hasContent = tableExists(m_connection, ContentTable);
    DbStatement batch(m_connection, m_connection.dialect().pruneTrackingBatchSql());
    batch.bind(QStringLiteral("Cutoff"), ParamType::DateTime, m_cutoff);
    batch.bind(QStringLiteral("BatchSize"), ParamType::Int, m_batchSize);
    DbStatement content(m_connection, DeleteOrphanedContent);
    qint64 contentRows = 0;
    int trackingRows = 0;
    QElapsedTimer timer;
    timer.start();
    m_connection.beginTransaction();
    try {
        const DbResult deleted = batch.open();
        trackingRows = deleted.rowCount();
        QSet<QString> messages;
        for (int row = 0; row < deleted.rowCount(); ++row)
            messages.insert(deleted.text(row, QStringLiteral("MsgID")));
        if (hasContent) {
            for (const QString &messageId : std::as_const(messages)) {
                content.bind(QStringLiteral("MsgID"), ParamType::Text, messageId);
                contentRows += content.execute();
            }
        }
        m_connection.commit();
    } catch (...) {
        if (m_connection.inTransaction())
            m_connection.rollback();
        throw;
    }
    m_deleted.trackingRows += trackingRows;
    m_deleted.contentRows += contentRows;
    if (trackingRows > 0)
        ++m_deleted.batches;
    m_finished = trackingRows < m_batchSize;
    adaptBatchSize(timer.nsecsElapsed());
    return !m_finished;
}

void TrackingRetention::setBatchTimeTarget(std::chrono::milliseconds target)
{
    m_batchTimeTarget = target;
    m_batchSize = FirstTimedBatch;
}

void TrackingRetention::adaptBatchSize(qint64 batchNanoseconds)
{
    if (!m_batchTimeTarget)
        return;
    const qint64 target = std::chrono::nanoseconds(*m_batchTimeTarget).count();
    const qint64 scaled = batchNanoseconds > 0 ? qint64(m_batchSize) * target / batchNanoseconds : BatchSize;
    // Grows at most by half at a time: one quick batch may have been luck.
    m_batchSize =
        int(std::clamp<qint64>(scaled, SmallestBatch, std::min<qint64>(BatchSize, m_batchSize * 3 / 2)));
}

bool TrackingRetention::runFor(std::chrono::milliseconds slice)
{
    QElapsedTimer timer;
    timer.start();
    qint64 before = 0;
    while (deleteBatch()) {
        // No batch is started that would likely end past the slice.
        const qint64 now = timer.elapsed();
        if (now + (now - before) > slice.count())
            return true;
        before = now;
    }
    return false;
}

void TrackingRetention::runToEnd(const std::function<void(std::chrono::milliseconds batchTime)> &pause)
{
    QElapsedTimer timer;
    timer.start();
    while (deleteBatch()) {
        if (pause)
            pause(std::chrono::milliseconds(timer.elapsed()));
        timer.restart();
    }
}

QString TrackingRetention::summary(bool dryRun, const RetentionCounts &counts) const
{
    return QStringLiteral(
               "Retention%1: %2 %3 tracking rows and %4 content rows received before %5 (retaindays=%6)")
        .arg(dryRun ? QStringLiteral(" dry run") : QString(),
             dryRun ? QStringLiteral("would delete") : QStringLiteral("deleted"))
        .arg(counts.trackingRows)
        .arg(counts.contentRows)
        .arg(m_cutoff.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")))
        .arg(m_retainDays);
}
