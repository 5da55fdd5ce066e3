#include "loader/RegularFile.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

bool isRegularFile(const QString &path)
{
    struct stat info
    {
    };
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 && S_ISREG(info.st_mode);
}

RegularFileRead readRegularFile(const QString &path, qint64 limit)
{
    RegularFileRead read;
    // O_NOFOLLOW refuses a link, O_NONBLOCK keeps a pipe from holding the open.
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        read.error = QString::fromLocal8Bit(std::strerror(errno));
        return read;
    }
    struct stat info
    {
    };
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        read.error = QStringLiteral("not a regular file");
        return read;
    }
    if (limit >= 0 && info.st_size > limit) {
        ::close(fd);
        read.error = QStringLiteral("larger than %1 bytes").arg(limit);
        return read;
    }
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        read.error = file.errorString();
        return read;
    }
    QByteArray bytes = limit >= 0 ? file.read(limit + 1) : file.readAll();
    if (file.error() != QFileDevice::NoError) {
        read.error = file.errorString();
        return read;
    }
    if (limit >= 0 && bytes.size() > limit) { // it grew while it was read
        read.error = QStringLiteral("larger than %1 bytes").arg(limit);
        return read;
    }
    read.bytes = std::move(bytes);
    return read;
}
