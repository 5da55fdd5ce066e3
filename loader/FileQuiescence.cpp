#include "loader/FileQuiescence.h"

FileStamp fileStampOf(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return {};
    return {info.size(), info.lastModified()};
}

bool hasSettled(const FileStamp &stamp, const QDateTime &now)
{
    if (!stamp.modified.isValid())
        return true; // nothing to wait for: reading will tell
    return stamp.modified.msecsTo(now) >= QuiescenceMilliseconds;
}
