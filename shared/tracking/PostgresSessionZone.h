#pragma once

#include <QString>

namespace db {
class Session;
}

// The zone this process's local clock runs in: TZ when set (a leading ":" and a zoneinfo folder
// dropped), else the system's zone.
QString machineTimeZoneName();
// A POSIX zone for a fixed offset east of UTC, in seconds: 19800 gives "<+0530>-05:30".
QString fixedOffsetZone(int offsetSeconds);

// Gives the session the machine's time zone, so that the server's localtimestamp reads the same
// wall clock as this process (a row stamped by the server and a cut-off taken here must agree). A
// zone the server does not know becomes the current offset. Throws DbError.
void matchMachineTimeZone(db::Session &session);
