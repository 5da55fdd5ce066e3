#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// "--help" and "--version", which every program answers before it looks at its other arguments.
// Prints the usage or "PROGRAM VERSION" on standard output and returns the exit status 0 when
// either is among the arguments; returns nothing otherwise.
std::optional<int> answerHelpOrVersion(const QStringList &arguments, const QString &program,
                                       const QString &usage);
