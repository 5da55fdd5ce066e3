#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// Only regular files that are not symbolic links are tracking or content files: a pipe would
// block the pass, a device or a link could pull in anything of the machine.

// True when `path` itself (no link followed) is a regular file.
bool isRegularFile(const QString &path);

// A tracking file over this size is not read: a real one holds a few hundred lines.
inline constexpr qint64 TrackingFileSizeLimit = 64LL * 1024 * 1024;

struct RegularFileRead
{
    std::optional<QByteArray> bytes; // empty when the file could not be read
    QString error;
};

// Reads the whole file when, once opened, it is still a regular file reached without a link and
// holds at most `limit` bytes (-1: no limit). Never blocks on a pipe.
RegularFileRead readRegularFile(const QString &path, qint64 limit = -1);
