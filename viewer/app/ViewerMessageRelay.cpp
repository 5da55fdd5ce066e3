#include "viewer/app/ViewerMessageRelay.h"

#include <QLocalServer>
#include <QLocalSocket>

namespace {

const QByteArray ForwardedMessage = QByteArrayLiteral("2024");
const QByteArray TargetMessage = QByteArrayLiteral("2023\n");
// A client that sends more than this without a line break is not one of ours.
constexpr qint64 MaxLineLength = 64;
// The target is a local program; connecting and handing over one line takes no time unless it hangs.
constexpr int TargetTimeoutMs = 1000;

} // namespace

ViewerMessageRelay::ViewerMessageRelay(QString serverName, QString targetName, QObject *parent)
    : QObject(parent), m_serverName(std::move(serverName)), m_targetName(std::move(targetName)),
      m_server(new QLocalServer(this))
{
    // Only the user's own programs may send the viewer messages.
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, &ViewerMessageRelay::acceptClients);
}

ViewerMessageRelay::~ViewerMessageRelay() = default;

bool ViewerMessageRelay::start()
{
    m_error.clear();
    // Listening with access options replaces whatever socket has the name, a live viewer's too; so
    // ask first whether one answers.
    QLocalSocket probe;
    probe.connectToServer(m_serverName);
    if (probe.waitForConnected(TargetTimeoutMs)) {
        m_error = QStringLiteral("Another program is listening as %1").arg(m_serverName);
        return false;
    }
    if (m_server->listen(m_serverName))
        return true;
    if (m_server->serverError() != QAbstractSocket::AddressInUseError)
        return false;
    // A socket file left by a viewer that ended abnormally.
    QLocalServer::removeServer(m_serverName);
    return m_server->listen(m_serverName);
}

QString ViewerMessageRelay::errorString() const
{
    return m_error.isEmpty() ? m_server->errorString() : m_error;
}

void ViewerMessageRelay::acceptClients()
{
    while (QLocalSocket *client = m_server->nextPendingConnection()) {
        connect(client, &QLocalSocket::readyRead, this, [this, client] { readClient(client); });
        connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
        readClient(client); // it may have written before the connection was taken
    }
}

void ViewerMessageRelay::readClient(QLocalSocket *client)
{
    while (client->canReadLine())
        handleLine(client->readLine().trimmed());
    if (client->bytesAvailable() > MaxLineLength)
        client->abort();
}

void ViewerMessageRelay::handleLine(const QByteArray &line)
{
    if (line == ForwardedMessage)
        emit messageForwarded(forwardToTarget());
}

bool ViewerMessageRelay::forwardToTarget()
{
    QLocalSocket target;
    target.connectToServer(m_targetName);
    if (!target.waitForConnected(TargetTimeoutMs))
        return false;
    target.write(TargetMessage);
    while (target.bytesToWrite() > 0 && target.waitForBytesWritten(TargetTimeoutMs)) {
    }
    const bool delivered = target.bytesToWrite() == 0;
    target.disconnectFromServer();
    return delivered;
}
