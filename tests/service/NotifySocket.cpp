#include "tests/service/NotifySocket.h"

#include <QElapsedTimer>

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <stdexcept>

NotifySocket::NotifySocket(const QString &path) : m_path(path)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray name = path.toLocal8Bit();
    if (name.size() >= static_cast<int>(sizeof address.sun_path))
        throw std::runtime_error("socket path too long: " + name.toStdString());
    std::memcpy(address.sun_path, name.constData(), name.size());
    m_fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (m_fd < 0 || ::bind(m_fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0)
        throw std::runtime_error("cannot bind " + name.toStdString() + ": " + std::strerror(errno));
}

NotifySocket::~NotifySocket()
{
    ::close(m_fd);
    ::unlink(m_path.toLocal8Bit().constData());
}

QStringList NotifySocket::received()
{
    char buffer[4096];
    for (;;) {
        const ssize_t size = ::recv(m_fd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (size < 0)
            break;
        // One datagram may carry several newline-separated assignments.
        const QString datagram = QString::fromUtf8(buffer, static_cast<int>(size));
        m_received += datagram.split(u'\n', Qt::SkipEmptyParts);
    }
    return m_received;
}

bool NotifySocket::waitFor(const QString &notice, int timeoutMilliseconds)
{
    QElapsedTimer timer;
    timer.start();
    while (!received().contains(notice)) {
        const qint64 left = timeoutMilliseconds - timer.elapsed();
        if (left <= 0)
            return false;
        pollfd watched{m_fd, POLLIN, 0};
        ::poll(&watched, 1, static_cast<int>(left));
    }
    return true;
}
