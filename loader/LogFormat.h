#pragma once

#include <QString>

#include <initializer_list>

// Fills the "%s", "%d" and "%u" of a log text, in order, with values already turned into text. One
// pass: a value that itself holds "%s" stays as it is.
QString fillLogText(const QString &pattern, std::initializer_list<QString> values);
