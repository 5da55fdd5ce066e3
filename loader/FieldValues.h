#pragma once

#include "loader/TrackingRecord.h"

#include <QString>
#include <QVariant>

#include <exception>
#include <optional>

// How record values reach statements and log lines, the same in every loader operation.

// A date field as a statement parameter: NULL when absent, the marker unchanged (the access layer
// refuses it for a date column, as the database would).
QVariant dateBindValue(const DateField &field);

// An absent text as the empty text, which a statement binds as '' and not as NULL.
QString textOrEmpty(const std::optional<QString> &value);

// A date-time as log lines and the parameter dump show it; empty when absent.
QString dateLogText(const std::optional<QDateTime> &value);
QString dateLogText(const DateField &field);

// The message of an error, the database's own text for a database error.
QString errorText(const std::exception &error);
