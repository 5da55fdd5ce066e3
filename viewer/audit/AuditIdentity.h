#pragma once

#include <QString>

// Who is acting and where: the operating-system account of the process and the machine's name.
struct AuditIdentity
{
    QString user;
    QString host;

    // The account comes from the password database, not from $USER, which anyone can set.
    static AuditIdentity ofThisProcess();
};
