#include "viewer/app/HeadlessReports.h"

#include "shared/tracking/DbConnection.h"
#include "viewer/audit/AccessAudit.h"
#include "viewer/app/HeadlessSearch.h"
#include "viewer/app/ViewerRunValues.h"
#include "viewer/reports/PreparedReport.h"
#include "viewer/reports/ReportMemoryDataSource.h"
#include "viewer/reports/ReportOutput.h"
#include "viewer/search/SearchSettingsStore.h"
#include "viewer/search/TrackSearch.h"

#include <QTextStream>

#include <exception>

int writeSearchReportPdf(const ViewerRunValues &values, const QDateTime &now, const QString &path,
                         QTextStream &errors)
{
    // The sort order the search ran with, read from the same saved criteria.
    SearchCriteria criteria = SearchCriteria::atStartup(now.date());
    QString sortOrder = QString::fromLatin1(InitialSortOrder);
    SearchSettingsStore().load().applyTo(criteria, sortOrder, now);
    return runSavedSearch(values, now, errors, [&](TrackResultModel &model, const TrackSearch &search) {
        AccessAudit::recordAtStartup(search.connection(), AuditAction::ReportPdf, search.CriteriaText());
        const auto report = PreparedReport::forSearch(model, sortOrder, search.CriteriaText());
        ReportOutput::writePdf(report->engine(), path);
    });
}

int writeSummaryPdf(const ViewerRunValues &values, const QString &path, QTextStream &errors)
{
    if (values.DbConnectionString.isEmpty()) {
        errors << "No database connection defined." << Qt::endl;
        return 1;
    }
    try {
        DbConnection connection(values.AppPath, QStringLiteral("SQLNCLI.1"));
        connection.open(values.DbConnectionString);
        AccessAudit::recordAtStartup(connection, AuditAction::SummaryPdf,
                                     QLatin1String(AuditAction::UndeliveredSummary));
        const auto report = PreparedReport::forSummary(fetchUndeliveredSummary(connection));
        ReportOutput::writePdf(report->engine(), path);
    } catch (const std::exception &error) {
        errors << QString::fromStdString(error.what()) << Qt::endl;
        return 1;
    }
    return 0;
}
