#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

// A /proc/self/status figure in kB ("VmRSS:", "VmHWM:"); -1 when it cannot be read.
inline long statusKilobytes(const char *key)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(static_cast<int>(qstrlen(key))).trimmed().split(' ').value(0).toLong();
    return -1;
}
