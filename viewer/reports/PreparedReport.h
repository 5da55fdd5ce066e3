#pragma once

#include "viewer/reports/ReportChoice.h"
#include "viewer/reports/ReportDataSource.h"
#include "viewer/reports/ReportEngine.h"

#include <memory>

class DbConnection;
class ReportMemoryDataSource;
class TrackResultModel;

// A report laid out over its rows, ready to preview, print or write as PDF. It keeps the rows the
// engine reads alive for as long as the engine lives.
class PreparedReport
{
public:
    // The search or practice report (as the sort order chooses) over every row of `model`, with
    // `criteriaText` in its page header. The model must not change while the report lives.
    static std::unique_ptr<PreparedReport> forSearch(TrackResultModel &model, const QString &sortOrder,
                                                     const QString &criteriaText,
                                                     const ReportEngine::Progress &progress = {});
    // The undelivered summary over rows fetched earlier.
    static std::unique_ptr<PreparedReport> forSummary(std::shared_ptr<const ReportDataSource> rows,
                                                      const ReportEngine::Progress &progress = {});

    ReportKind kind() const { return m_kind; }
    const ReportEngine &engine() const { return m_engine; }
    int pageCount() const { return m_engine.pageCount(); }

private:
    PreparedReport(ReportKind kind, std::shared_ptr<const ReportDataSource> rows);

    ReportKind m_kind;
    std::shared_ptr<const ReportDataSource> m_rows;
    ReportEngine m_engine;
};

// Runs the connection's undelivered summary statement and reads its rows. Throws DbError.
std::shared_ptr<const ReportMemoryDataSource> fetchUndeliveredSummary(DbConnection &connection);
