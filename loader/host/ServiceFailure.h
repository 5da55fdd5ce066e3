#pragma once

#include <QString>

// An error that ended a service event: a syslog record (ident svcOVTrack, facility daemon,
// priority error) and the same text on standard error. `event` is "execute", "pause", ...
void reportServiceFailure(const QString &event, const QString &message);
