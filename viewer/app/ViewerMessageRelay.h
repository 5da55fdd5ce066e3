#pragma once

#include <QObject>
#include <QString>

class QLocalServer;
class QLocalSocket;

// Stands in for the window messages other programs exchange with the viewer: a client that sends
// the line "2024" to the viewer's local server makes the viewer send the line "2023" to the
// target's local server, when one is listening. Other lines are ignored.
class ViewerMessageRelay : public QObject
{
    Q_OBJECT

public:
    explicit ViewerMessageRelay(QString serverName = QStringLiteral("OVTrack"),
                                QString targetName = QStringLiteral("THMView"), QObject *parent = nullptr);
    ~ViewerMessageRelay() override;

    // Starts listening; false, with errorString() set, when a live program holds the name.
    bool start();
    QString errorString() const;
    const QString &serverName() const { return m_serverName; }

signals:
    // After each "2024" was handled: whether the target took "2023".
    void messageForwarded(bool delivered);

private:
    void acceptClients();
    void readClient(QLocalSocket *client);
    void handleLine(const QByteArray &line);
    bool forwardToTarget();

    QString m_serverName;
    QString m_targetName;
    QString m_error;
    QLocalServer *m_server;
};
