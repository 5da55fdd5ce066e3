#pragma once

#include "viewer/reports/ReportMemoryDataSource.h"

#include <QStringList>

// Invented report rows for sample renders and the benchmark: plausible names, tests and statuses,
// as the result grid would display them. Deterministic, so renders can be compared.
namespace ReportSampleRows {

// The fields of the search statement's rows, computed fields included.
QStringList trackFields();

// `count` rows, `rowsPerPatient` to a patient; sorted by patient, or by practice when byPractice.
ReportMemoryDataSource trackRows(int count, int rowsPerPatient, bool byPractice);

// One summary row per practice.
ReportMemoryDataSource undeliveredRows(int practices);

} // namespace ReportSampleRows
