#pragma once

#include <QString>
#include <QStringList>

class QTextStream;

// The viewer's operator commands without a window:
//   OVTrack [userpath [importpath [connection]]] --check-undelivered [-w N] [-c N] [--age DAYS]
//           [--critical-age DAYS]
//   OVTrack [userpath [importpath [connection]]] --audit-csv FILE [--from yyyy-MM-dd] [--to yyyy-MM-dd]
bool isMaintenanceCommand(const QStringList &arguments);
// `arguments` without the program name. Returns the exit status.
int runMaintenanceCommand(const QString &appPath, const QStringList &arguments, QTextStream &out,
                          QTextStream &errors);
