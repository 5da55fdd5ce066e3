#pragma once

#include <QString>
#include <QStringList>

class QTextStream;

// `OVTrackSvc /PRUNE [/DRYRUN]`: the loader's start-up, then one retention run to its end, reported
// on `out`; a dry run only connects and counts, and says that it changed nothing. Returns the exit status: 0,
// or 1 when retention could not run.
int runPruneCommand(const QString &appDir, const QStringList &startParameters, bool dryRun, QTextStream &out,
                    QTextStream &errors);
