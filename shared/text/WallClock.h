#pragma once

#include <QDate>
#include <QDateTime>
#include <QTime>

// Stored date-times are wall-clock values without a time zone. A local QDateTime cannot hold a
// time inside a daylight-saving gap (it becomes invalid) and moves values across zone changes, so
// every date-time the programs keep carries Qt::UTC as a mere label: date and time stay as written.
namespace WallClock {

QDateTime of(QDate date, QTime time = QTime(0, 0));

// The same date and time, labelled zone-less; an invalid value stays invalid.
QDateTime relabelled(const QDateTime &value);

// The local clock's date and time, read once and labelled zone-less.
QDateTime now();

} // namespace WallClock
