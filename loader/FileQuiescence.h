#pragma once

#include <QDateTime>
#include <QFileInfo>
#include <QString>

// The messaging server holds no lock on a file it is writing: a file whose size or modification
// time changed within the last two seconds is left for the next pass.
inline constexpr qint64 QuiescenceMilliseconds = 2000;

struct FileStamp
{
    qint64 size = -1;
    QDateTime modified;

    bool operator==(const FileStamp &other) const = default;
};

FileStamp fileStampOf(const QString &path);

// True when the file was last changed at least two seconds before `now`.
bool hasSettled(const FileStamp &stamp, const QDateTime &now = QDateTime::currentDateTime());
