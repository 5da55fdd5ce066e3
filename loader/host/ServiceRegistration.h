#pragma once

#include <QString>

// The INSTALL and UNINSTALL switches: the unit file, systemd told about it when the unit lies in
// the system's unit folder, and the messages. Both return the process exit status.
// A program in the package's folder is refused (the package brings its own unit), and so is a
// folder install that would run as root unless `user` names the account.
int installService(const QString &programPath, const QString &user, bool silent);
int uninstallService(bool silent);
