#pragma once

#include <QByteArray>
#include <QDateTime>

#include <optional>

// OLE Automation dates: days since 1899-12-30 with the time of day as the fraction, wall clock,
// millisecond resolution. The viewer keeps its saved dates in this form (8 bytes, little-endian).
namespace OleDate {

inline const QDate Epoch{1899, 12, 30};

double fromDateTime(const QDateTime &value);
QDateTime toDateTime(double days);

QByteArray toBytes(const QDateTime &value);
// Empty when the value is not exactly 8 bytes or not a finite day number.
std::optional<QDateTime> fromBytes(const QByteArray &bytes);

} // namespace OleDate
