#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <variant>

// A value bound to a parameter or read from a column: NULL, text, an integer, a wall-clock
// date-time (labelled Qt::UTC, see WallClock) or bytes.
using DbValue = std::variant<std::monostate, QString, qint64, QDateTime, QByteArray>;

inline bool isNull(const DbValue &value)
{
    return std::holds_alternative<std::monostate>(value);
}
