#pragma once

#include "loader/TrackingRecord.h"

#include <QDateTime>
#include <QString>

#include <optional>

// The date texts of tracking lines. Pure functions of the text and the process's short date
// format: no database, no log.

// The rule for every date field of a tracking line: absent for an empty text, the unreadable-date
// marker for a text it cannot read. Never fails.
DateField ParseTrackingDate(const QString &text, const QString &shortDateFormat);

// The lenient reader of free-form dates (names of days and months, ordinals, am/pm, two-digit
// years) for texts without "-". Gives the marker for what it cannot read.
DateField ParseDateText(const QString &text, const QString &shortDateFormat);

// The platform conversion of a numeric date: day, month and year in the order of the short date
// format, separated by "/", "-", "." or blanks, optionally followed by a time. A two-digit year is
// read within fifty years of `currentYear`. Empty when the text does not fit.
std::optional<QDateTime> convertShortDateText(const QString &text, const QString &shortDateFormat,
                                              int currentYear = QDate::currentDate().year());
