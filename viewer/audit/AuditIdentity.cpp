#include "viewer/audit/AuditIdentity.h"

#include <QSysInfo>

#include <pwd.h>
#include <unistd.h>

AuditIdentity AuditIdentity::ofThisProcess()
{
    AuditIdentity identity;
    if (const passwd *entry = getpwuid(geteuid()))
        identity.user = QString::fromLocal8Bit(entry->pw_name);
    else
        identity.user = QString::number(geteuid());
    identity.host = QSysInfo::machineHostName();
    return identity;
}
