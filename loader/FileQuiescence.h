#pragma once

#include <QDateTime>
#include <QFileInfo>
#include <QHash>
#include <QString>

#include <functional>

// The messaging server holds no lock on a file it is writing: a file is read only once it has
// been quiet for two seconds.
inline constexpr qint64 QuiescenceMilliseconds = 2000;

struct FileStamp
{
    qint64 size = -1;
    QDateTime modified;

    bool operator==(const FileStamp &other) const = default;
};

FileStamp fileStampOf(const QString &path);

// Remembers the looks at the files of a folder from pass to pass. A file is settled when its stamp
// lies at least two seconds in the past, or when its size and stamp stayed the same between two
// looks at least two seconds apart: a stamp in the future (a clock-skewed share) is no reason to
// wait for ever.
class FileQuiescence
{
public:
    using SteadyClock = std::function<qint64()>; // milliseconds, never going back

    FileQuiescence();

    bool hasSettled(const QString &path, const FileStamp &stamp,
                    const QDateTime &now = QDateTime::currentDateTime());
    // Forgets the file (it was read, or is gone).
    void forget(const QString &path);
    // Whether a file had its first look and waits for its second.
    bool isWaiting() const { return !m_looks.isEmpty(); }

    void setClock(SteadyClock clock) { m_clock = std::move(clock); }

private:
    struct Look
    {
        FileStamp stamp;
        qint64 at = 0;
    };
    QHash<QString, Look> m_looks;
    SteadyClock m_clock;
};
