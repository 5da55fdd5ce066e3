#pragma once

#include <QString>
#include <QStringList>

// The service manager's end of the notify protocol: a datagram socket bound to a path, as systemd
// holds one and hands its path to the service in NOTIFY_SOCKET.
class NotifySocket
{
public:
    explicit NotifySocket(const QString &path);
    ~NotifySocket();
    NotifySocket(const NotifySocket &) = delete;
    NotifySocket &operator=(const NotifySocket &) = delete;

    QString path() const { return m_path; }
    // Every notice received so far, in order, one line each ("WATCHDOG=1"); waits for none.
    QStringList received();
    // Waits up to the timeout for `notice`; true once it has arrived.
    bool waitFor(const QString &notice, int timeoutMilliseconds);

private:
    QString m_path;
    int m_fd = -1;
    QStringList m_received;
};
