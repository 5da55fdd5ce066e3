#include "loader/FileQuiescence.h"

#include <QElapsedTimer>

FileStamp fileStampOf(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return {};
    return {info.size(), info.lastModified()};
}

FileQuiescence::FileQuiescence()
{
    QElapsedTimer started;
    started.start();
    m_clock = [started] { return started.elapsed(); };
}

bool FileQuiescence::hasSettled(const QString &path, const FileStamp &stamp, const QDateTime &now)
{
    if (!stamp.modified.isValid() || stamp.modified.msecsTo(now) >= QuiescenceMilliseconds) {
        m_looks.remove(path); // nothing to wait for: reading will tell
        return true;
    }
    const qint64 at = m_clock();
    const auto earlier = m_looks.constFind(path);
    if (earlier != m_looks.constEnd() && earlier->stamp == stamp) {
        if (at - earlier->at >= QuiescenceMilliseconds) {
            m_looks.remove(path);
            return true;
        }
        return false;
    }
    m_looks.insert(path, {stamp, at});
    return false;
}

void FileQuiescence::forget(const QString &path)
{
    m_looks.remove(path);
}
