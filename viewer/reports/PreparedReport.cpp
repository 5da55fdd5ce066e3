#include "viewer/reports/PreparedReport.h"

#include "shared/tracking/DbConnection.h"
#include "shared/db/DbError.h"
#include "shared/tracking/DbStatement.h"
#include "shared/tracking/SqlDialect.h"
#include "viewer/reports/ReportLayouts.h"
#include "viewer/reports/ReportMemoryDataSource.h"
#include "viewer/reports/TrackReportSource.h"

PreparedReport::PreparedReport(ReportKind kind, std::shared_ptr<const ReportDataSource> rows)
    : m_kind(kind), m_rows(std::move(rows)), m_engine(ReportLayouts::forKind(kind), *m_rows)
{
    m_engine.setBeforePrint(ReportBandKind::PageFooter, ReportLayouts::pageFooterBeforePrint());
}

std::unique_ptr<PreparedReport> PreparedReport::forSearch(TrackResultModel &model, const QString &sortOrder,
                                                          const QString &criteriaText,
                                                          const ReportEngine::Progress &progress)
{
    std::unique_ptr<PreparedReport> report(new PreparedReport(ReportChoice::trackReportFor(sortOrder),
                                                              std::make_shared<TrackReportSource>(model)));
    report->m_engine.setText(QLatin1String(ReportLayouts::CriteriaElement), criteriaText);
    report->m_engine.prepare(progress);
    return report;
}

std::unique_ptr<PreparedReport> PreparedReport::forSummary(std::shared_ptr<const ReportDataSource> rows,
                                                           const ReportEngine::Progress &progress)
{
    std::unique_ptr<PreparedReport> report(new PreparedReport(ReportKind::Undelivered, std::move(rows)));
    report->m_engine.prepare(progress);
    return report;
}

std::shared_ptr<const ReportMemoryDataSource> fetchUndeliveredSummary(DbConnection &connection)
{
    DbStatement statement(connection, connection.dialect().undeliveredSummarySql());
    const std::unique_ptr<db::Cursor> cursor = statement.query();
    return std::make_shared<const ReportMemoryDataSource>(ReportMemoryDataSource::fromCursor(*cursor));
}
