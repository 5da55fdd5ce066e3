#include "shared/text/WallClock.h"

namespace WallClock {

QDateTime of(QDate date, QTime time)
{
    return QDateTime(date, time, Qt::UTC);
}

QDateTime relabelled(const QDateTime &value)
{
    if (!value.isValid() || value.timeSpec() == Qt::UTC)
        return value;
    return of(value.date(), value.time());
}

QDateTime now()
{
    return relabelled(QDateTime::currentDateTime());
}

} // namespace WallClock
