#pragma once

#include <QString>

// A backlog drained through the loader's own pass (settings read at start-up, the real pause after
// each file): many tracking files against one file holding the same lines.

// All runs, each in a child process; prints lines per second and peak memory of each.
int runBacklogs();
// (child) start-up in `folder` and one pass over its tracking folder; prints "seconds maxrss-kB".
int runBacklogPass(const QString &folder);
