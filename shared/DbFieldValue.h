#pragma once

#include <QVariant>

class QSqlQuery;

// A field of the row `query` stands on, as every reader of results takes it: date-times come back
// as the wall-clock values stored, whatever the machine's time zone, on every backend.
QVariant fieldValue(const QSqlQuery &query, int column);
