#pragma once

#include <QString>

#include <ostream>

// Readable QStrings in assertion messages; GoogleTest finds it by argument-dependent lookup.
void PrintTo(const QString &text, std::ostream *os);
