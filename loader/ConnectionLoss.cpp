#include "loader/OVTrackSvcForm.h"

#include "shared/db/DbError.h"
#include "shared/text/TextCodec.h"

#include <QSaveFile>

// A line whose write fails because the server cannot be reached is not a bad line: it and the
// lines after it wait in their tracking file for the next pass instead of going to "errors/".

bool TsvcOVTrack::databaseUnreachable(QString &reason)
{
    try {
        adoConn1.close();
        adoConn1.open();
        return false;
    } catch (const DbError &e) {
        reason = e.message();
        return true;
    }
}

bool TsvcOVTrack::keepLinesForNextPass(const QString &name, const QStringList &lines, TextEncoding encoding)
{
    QSaveFile file(TrackingDir + name);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    for (const QString &line : lines)
        file.write(encodeServerText(line + QStringLiteral("\r\n"), encoding));
    return file.commit();
}
