#include "shared/PostgresSessionZone.h"

#include "shared/PostgresLibpq.h"

#include <QDateTime>
#include <QTimeZone>

#include <libpq-fe.h>

namespace {

QSqlError setSessionTimeZone(pg_conn *session, const QString &zone)
{
    const QByteArray value = zone.toUtf8();
    const char *values[] = {value.constData()};
    PGresult *result = PQexecParams(session, "select set_config('TimeZone', $1, false)", 1, nullptr, values,
                                    nullptr, nullptr, 0);
    QSqlError error;
    if (PQresultStatus(result) != PGRES_TUPLES_OK)
        error = postgresFailure(UnableToSendQuery, session, result);
    PQclear(result);
    return error;
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

QSqlError matchMachineTimeZone(pg_conn *session)
{
    if (!session)
        return QSqlError(QStringLiteral("QPSQL: ") + QLatin1String(UnableToSendQuery),
                         QStringLiteral("The PostgreSQL session is not open"), QSqlError::ConnectionError);
    if (!setSessionTimeZone(session, machineTimeZoneName()).isValid())
        return {};
    return setSessionTimeZone(session, fixedOffsetZone(QDateTime::currentDateTime().offsetFromUtc()));
}
