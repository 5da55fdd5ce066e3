#pragma once

#include <QString>
#include <QStringList>

class DbConnection;

// The rows of OVTrack_Audit as "action|subject|outcome|user|host", oldest first.
QStringList auditRows(DbConnection &connection);
// Makes the database refuse every new audit row, as a login without the right to write would.
void refuseAuditWrites(DbConnection &connection);
// Makes it refuse every change to Tracking rows, with the message "Tracking is read-only".
void refuseTrackingUpdates(DbConnection &connection);
// "action|subject|outcome|" followed by this process's user and host.
QString auditRow(const QString &action, const QString &subject, const QString &outcome = {});

// OVTrack run to its end without a display, with its per-user settings in `configHome`.
struct ViewerRun
{
    int exitCode = -1;
    QString output;
    QString errors;
};
ViewerRun runViewer(const QStringList &arguments, const QString &configHome);
