#include "viewer/reports/ReportChoice.h"

namespace ReportChoice {

ReportKind trackReportFor(const QString &sortOrder)
{
    const QString order = sortOrder.toLower();
    const qsizetype practice = order.indexOf(QLatin1String("pracid"));
    if (practice < 0)
        return ReportKind::Search;
    const qsizetype patient = order.indexOf(QLatin1String("patient"));
    // An order without "patient" does not group by practice then patient: the search report.
    return patient >= practice ? ReportKind::Practice : ReportKind::Search;
}

bool needsLargeReportWarning(qint64 rowCount)
{
    return rowCount > LargeReportRows;
}

QString largeReportWarningText(qint64 rowCount)
{
    return QStringLiteral("Warning!!\r\nThere are %1 records to report").arg(rowCount);
}

QString largeReportWarningCaption()
{
    return QStringLiteral("Large Report Record");
}

QString notDeliveredSortOrder(const QString &sortOrder)
{
    return sortOrder == QLatin1String(PracticeSortOrder) ? QString::fromLatin1(DefaultSortOrder)
                                                         : QString::fromLatin1(PracticeSortOrder);
}

} // namespace ReportChoice
