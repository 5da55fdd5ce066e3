#pragma once

#include <QDateTime>
#include <QString>

class QTextStream;
struct ViewerRunValues;

// The printed reports without a window, as PDF files; a QGuiApplication must exist (fonts).
// Each returns the exit status: 0, or 1 after writing the reason to `errors`.

// The saved search run as "Search &Report" would show it: the practice or the search report as
// the saved sort order chooses.
int writeSearchReportPdf(const ViewerRunValues &values, const QDateTime &now, const QString &path,
                         QTextStream &errors);
// The undelivered summary.
int writeSummaryPdf(const ViewerRunValues &values, const QString &path, QTextStream &errors);
