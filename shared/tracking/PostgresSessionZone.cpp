#include "shared/tracking/PostgresSessionZone.h"

#include "shared/db/Session.h"

#include <QDateTime>
#include <QTimeZone>

namespace {

// False when the server does not know the zone.
bool setSessionTimeZone(db::Session &session, const QString &zone)
{
    auto statement = session.prepare(QStringLiteral("select set_config('TimeZone', :Zone, false)"));
    statement->bind(QStringLiteral("Zone"), zone);
    try {
        statement->query()->next();
        return true;
    } catch (const DbError &error) {
        if (error.code() != QLatin1String("22023")) // invalid_parameter_value: an unknown zone
            throw;
        return false;
    }
}

} // namespace

QString machineTimeZoneName()
{
    if (!qEnvironmentVariableIsSet("TZ"))
        return QString::fromUtf8(QTimeZone::systemTimeZoneId());
    QString zone = qEnvironmentVariable("TZ");
    if (zone.startsWith(u':'))
        zone.remove(0, 1);
    if (zone.isEmpty())
        return QStringLiteral("UTC"); // the C library's reading of an empty TZ
    if (zone.startsWith(u'/')) {
        const QString folder = QStringLiteral("/zoneinfo/");
        const qsizetype at = zone.indexOf(folder);
        if (at < 0)
            return QString::fromUtf8(QTimeZone::systemTimeZoneId()); // a file such as /etc/localtime
        zone = zone.mid(at + folder.size());
    }
    return zone;
}

QString fixedOffsetZone(int offsetSeconds)
{
    const QChar east = offsetSeconds < 0 ? u'-' : u'+';
    const int minutes = qAbs(offsetSeconds) / 60;
    const QString hours = QString::number(minutes / 60).rightJustified(2, u'0');
    const QString rest = QString::number(minutes % 60).rightJustified(2, u'0');
    // POSIX counts offsets west of UTC as positive: the opposite sign.
    const QChar west = east == u'+' ? u'-' : u'+';
    return u'<' + east + hours + rest + u'>' + west + hours + u':' + rest;
}

void matchMachineTimeZone(db::Session &session)
{
    if (setSessionTimeZone(session, machineTimeZoneName()))
        return;
    const QString offset = fixedOffsetZone(QDateTime::currentDateTime().offsetFromUtc());
    if (!setSessionTimeZone(session, offset))
        throw DbError(DbError::Kind::Other, QStringLiteral("The server refuses the time zone %1").arg(offset));
}
