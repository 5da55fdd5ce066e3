#include "viewer/content/WildcardMatch.h"

#include <QDir>

#include <vector>

namespace {

bool sameLetter(QChar a, QChar b)
{
    return a == b || a.toCaseFolded() == b.toCaseFolded();
}

} // namespace

bool WildcardMatch(QStringView pattern, QStringView name)
{
    // matches[n]: the pattern from position p on matches the name from position n on. Filled from
    // the end of the pattern backwards, so runs of `*` cost no backtracking.
    const qsizetype nameLength = name.size();
    const bool nameHasDot = name.contains(u'.');
    std::vector<char> next(nameLength + 1, 0);
    next[nameLength] = 1;
    std::vector<char> current(nameLength + 1, 0);
    for (qsizetype p = pattern.size() - 1; p >= 0; --p) {
        const QChar wildcard = pattern.at(p);
        for (qsizetype n = nameLength; n >= 0; --n) {
            const bool atEnd = n == nameLength;
            bool match = false;
            if (wildcard == u'*') {
                match = next[n] || (!atEnd && current[n + 1]);
            } else if (wildcard == u'?') {
                match = (!atEnd && next[n + 1]) || ((atEnd || name.at(n) == u'.') && next[n]);
            } else {
                match = (!atEnd && sameLetter(wildcard, name.at(n)) && next[n + 1]) ||
                        (wildcard == u'.' && atEnd && !nameHasDot && next[n]);
            }
            current[n] = match ? 1 : 0;
        }
        next.swap(current);
    }
    return next[0] != 0;
}

QStringList FindMatchingEntries(const QString &folder, const QString &pattern)
{
    QStringList found;
    const QStringList names = QDir(folder).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
    for (const QString &name : names) {
        if (WildcardMatch(pattern, name))
            found.append(name);
    }
    return found;
}
