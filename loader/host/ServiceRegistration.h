#pragma once

#include <QString>

// The INSTALL and UNINSTALL switches: the unit file, systemd told about it when the unit lies in
// the system's unit folder, and the messages. Both return the process exit status.
int installService(const QString &programPath, bool silent);
int uninstallService(bool silent);
