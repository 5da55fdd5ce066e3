#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

// Name matching as the Windows file search does it, for names that the messaging server's data
// gives: `*` matches any run of characters, `?` one character or, where the name has a dot or has
// ended, nothing; a `.` of the pattern also matches the end of a name without any dot (so "*.*"
// and "*." match "readme"). Letter case is ignored.
bool WildcardMatch(QStringView pattern, QStringView name);

// The names (as they are on disk, sorted) of the entries of a folder, files and folders alike,
// that match the pattern. Linux names are case-sensitive; the server's were not.
QStringList FindMatchingEntries(const QString &folder, const QString &pattern);
