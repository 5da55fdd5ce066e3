#pragma once

#include <QString>
#include <QStringList>

class QTextStream;

// `OVTrackSvc /CREATEDB`: the set-up of a new installation. Reads the settings as the service does,
// creates the embedded database file when it is missing and the Tracking table when that is
// missing, then runs the service's own schema start-up (content table, indexes). Run as the
// service's user, so that everything it creates belongs to the service. Returns the exit status:
// 0 when the Tracking table exists at the end, else 1 with the reason on `errors`.
int runCreateDatabaseCommand(const QString &appDir, const QStringList &startParameters, QTextStream &out,
                             QTextStream &errors);
