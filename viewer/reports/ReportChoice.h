#pragma once

#include "viewer/search/SearchCriteria.h"

#include <QString>

// Which report a command shows; the values are those of the window's `ShownReport`.
enum class ReportKind
{
    Search = 0,
    Practice = 1,
    Undelivered = 2
};

// The decisions the window's report commands take before any report is laid out.
namespace ReportChoice {

// Rows above which "Search &Report" asks before it lays the report out.
inline constexpr qint64 LargeReportRows = 150;

using ::PracticeSortOrder;
inline constexpr const char *DefaultSortOrder = InitialSortOrder;

// The practice report when the rows are sorted by practice before (or without) the patient,
// else the search report.
ReportKind trackReportFor(const QString &sortOrder);

bool needsLargeReportWarning(qint64 rowCount);
QString largeReportWarningText(qint64 rowCount);
QString largeReportWarningCaption();

// "&Not Delivered by practice" toggles between the practice order and the default order.
QString notDeliveredSortOrder(const QString &sortOrder);

} // namespace ReportChoice
