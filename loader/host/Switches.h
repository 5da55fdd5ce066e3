#pragma once

#include <QStringList>

// The program's own switches, written with a leading "/" or "-" in any case. Every argument,
// switches included, is also a start parameter of the service.
struct Switches
{
    bool install = false;
    bool uninstall = false;
    bool silent = false;
    bool once = false;
    bool prune = false;  // one retention run, counts printed
    bool dryRun = false; // with prune: counts only, nothing deleted
};

Switches parseSwitches(const QStringList &arguments);

// The text of --help.
QString switchesHelp();
