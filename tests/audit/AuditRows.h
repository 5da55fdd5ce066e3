#pragma once

#include <QString>
#include <QStringList>

class DbConnection;

// The rows of OVTrack_Audit as "action|subject|user|host", oldest first.
QStringList auditRows(DbConnection &connection);
// Makes the database refuse every new audit row, as a login without the right to write would.
void refuseAuditWrites(DbConnection &connection);
// "action|subject|" followed by this process's user and host.
QString auditRow(const QString &action, const QString &subject);

// OVTrack run to its end without a display, with its per-user settings in `configHome`.
struct ViewerRun
{
    int exitCode = -1;
    QString output;
    QString errors;
};
ViewerRun runViewer(const QStringList &arguments, const QString &configHome);
