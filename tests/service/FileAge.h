#pragma once

#include <QString>

// Sets a file's modification time a minute back: the loader leaves files younger than two seconds
// alone, as they may still be being written.
void makeSettled(const QString &path);
