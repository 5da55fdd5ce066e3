#include "loader/host/ServiceFailure.h"

#include <syslog.h>

#include <cstdio>

void reportServiceFailure(const QString &event, const QString &message)
{
    const QByteArray text = QStringLiteral("Service failed on %1: %2").arg(event, message).toLocal8Bit();
    openlog("svcOVTrack", LOG_PID, LOG_DAEMON);
    syslog(LOG_ERR, "%s", text.constData());
    closelog();
    std::fprintf(stderr, "%s\n", text.constData());
    std::fflush(stderr);
}
