#pragma once

#include "viewer/reports/ReportChoice.h"
#include "viewer/reports/ReportEngine.h"
#include "viewer/reports/ReportLayout.h"

#include <QStringList>

// The viewer's three printed reports as layout data.
namespace ReportLayouts {

// Element names callers set through ReportEngine::setText or a before-print hook.
inline constexpr const char *CriteriaElement = "CriteriaText";
inline constexpr const char *TotalLabelElement = "TotalLabel";

// Search report: the rows of the search grouped by patient; A4 landscape.
ReportLayout QuickRep1();
// Practice report: the same rows grouped by practice; A4 landscape.
ReportLayout QuickRep3();
// Undelivered summary: one line per practice; A4 portrait.
ReportLayout qrptUndelivered();

ReportLayout forKind(ReportKind kind);

// The result columns of the undelivered summary statement, in order.
QStringList undeliveredSummaryFields();

// " of " and the page count: completes a footer such as "Page: 3 of 7".
QString totalLabelText(int reportPageCount);
// A page-footer hook that writes the total label from the engine's own page count.
ReportEngine::BeforePrint pageFooterBeforePrint();

} // namespace ReportLayouts
