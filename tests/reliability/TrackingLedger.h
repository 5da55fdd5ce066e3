#pragma once

#include "shared/tracking/DbConnection.h"

#include <QByteArray>
#include <QHash>
#include <QSet>
#include <QString>

// What a tracking folder held before the loader ran, and the check that nothing of it was lost:
// every line's message is in Tracking or the line is still in the folder or in "errors/"; no
// message has more rows than its new-message lines; every content file is stored with its exact
// bytes or still waits.
class TrackingLedger
{
public:
    struct Outcome
    {
        int lines = 0;
        int linesInTracking = 0;
        int linesWaiting = 0; // in the tracking folder or in errors/
        int linesLost = 0;
        int messagesWithTooManyRows = 0;
        int contentFiles = 0;
        int contentStored = 0;
        int contentWaiting = 0;
        int contentLost = 0;
        QString integrity;
        QStringList faults; // the first few, for the failure message
    };

    // Records every line and content file now in `trackingDir`.
    explicit TrackingLedger(const QString &trackingDir);

    Outcome verify(DbConnection &database) const;

private:
    QString m_trackingDir;
    QList<QString> m_lines;
    QHash<QString, int> m_newLines;       // message id -> number of new-message lines
    QHash<QString, QByteArray> m_content; // file name -> bytes
};
