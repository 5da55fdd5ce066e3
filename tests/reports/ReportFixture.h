#pragma once

#include "viewer/reports/ReportEngine.h"
#include "viewer/reports/ReportLayouts.h"
#include "viewer/reports/ReportMemoryDataSource.h"

#include <QList>
#include <QSizeF>
#include <QString>
#include <QStringList>

#include <ostream>
#include <string>

// Rows, layouts and PDF read-back shared by the report tests.
namespace ReportFixture {

// "Search", "Practice" or "Undelivered", for test names.
std::string kindName(ReportKind kind);

// The search statement's fields that the two track layouts print.
QStringList trackFields();

struct Patient
{
    QString name;
    int rows;
    QString practice = QStringLiteral("PRAC1");
};

// Rows for the given patients in order; row values name the patient and the row number.
ReportMemoryDataSource trackRows(const QList<Patient> &patients);

// An engine with the criteria set and the footer hook installed, prepared.
struct PreparedReport
{
    PreparedReport(ReportKind kind, const ReportDataSource &rows, const QString &criteria = {});
    ReportEngine engine;
};

struct PdfDocument
{
    int pages = 0;
    QSizeF pageSizePoints;
    QStringList pageTexts; // pdftotext -layout, one entry per page
};

// Reads a PDF back through poppler's command-line tools.
PdfDocument readPdf(const QString &path);

} // namespace ReportFixture

// Readable parameter values in test names and failures.
void PrintTo(ReportKind kind, std::ostream *out);
