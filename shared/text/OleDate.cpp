#include "shared/text/OleDate.h"

#include "shared/text/WallClock.h"

#include <QtEndian>

#include <cmath>
#include <cstring>

namespace OleDate {

namespace {
constexpr qint64 MsPerDay = 24LL * 60 * 60 * 1000;
}

double fromDateTime(const QDateTime &value)
{
    const qint64 days = Epoch.daysTo(value.date());
    const double fraction = static_cast<double>(value.time().msecsSinceStartOfDay()) / MsPerDay;
    // Before the epoch the fraction still counts forward from midnight: -1.25 is 1899-12-29 06:00.
    return days >= 0 ? days + fraction : days - fraction;
}

QDateTime toDateTime(double days)
{
    const double whole = std::trunc(days);
    const double fraction = std::fabs(days - whole);
    qint64 ms = std::llround(fraction * MsPerDay);
    qint64 dayCount = static_cast<qint64>(whole);
    if (ms >= MsPerDay) { // rounding reached the next midnight
        ms -= MsPerDay;
        dayCount += days >= 0 ? 1 : -1;
    }
    return WallClock::of(Epoch.addDays(dayCount), QTime::fromMSecsSinceStartOfDay(static_cast<int>(ms)));
}

QByteArray toBytes(const QDateTime &value)
{
    const double days = fromDateTime(value);
    quint64 raw = 0;
    std::memcpy(&raw, &days, sizeof raw);
    QByteArray bytes(8, '\0');
    qToLittleEndian(raw, bytes.data());
    return bytes;
}

std::optional<QDateTime> fromBytes(const QByteArray &bytes)
{
    if (bytes.size() != 8)
        return std::nullopt;
    const quint64 raw = qFromLittleEndian<quint64>(bytes.constData());
    double days = 0;
    std::memcpy(&days, &raw, sizeof days);
    // The range of dates a QDate can hold comfortably; anything else is not a saved date.
    if (!std::isfinite(days) || std::fabs(days) > 3.0e6)
        return std::nullopt;
    return toDateTime(days);
}

} // namespace OleDate
