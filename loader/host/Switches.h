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
    bool prune = false;    // one retention run, counts printed
    bool dryRun = false;   // with prune: counts only, nothing deleted
    bool createDb = false; // creates the database the configuration names, and its tables
    QString user;          // /USER NAME beside /INSTALL: the account the service runs as
    // The first argument that looks like a switch but is none of these; empty when all are known.
    QString unknown;
};

Switches parseSwitches(const QStringList &arguments);

// The text of --help.
QString switchesHelp();
