#include "tests/support/TestFolder.h"
#include "tests/support/WaitUntil.h"
#include "viewer/app/ViewerMessageRelay.h"

#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTest>
#include <QUuid>

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <vector>

namespace {

QString uniqueName(const QString &prefix)
{
    return prefix + u'-' + QUuid::createUuid().toString(QUuid::Id128).left(12);
}

// The other program's window: collects every line sent to it.
class TargetProgram
{
public:
    explicit TargetProgram(const QString &name) { m_server.listen(name); }
    bool isListening() const { return m_server.isListening(); }

    QByteArray received()
    {
        while (QLocalSocket *socket = m_server.nextPendingConnection())
            m_sockets.emplace_back(socket);
        for (const auto &socket : m_sockets)
            m_received += socket->readAll();
        return m_received;
    }

private:
    QLocalServer m_server;
    std::vector<std::unique_ptr<QLocalSocket>> m_sockets;
    QByteArray m_received;
};

// A program that sends the viewer lines.
std::unique_ptr<QLocalSocket> sendLines(const QString &server, const QByteArray &lines)
{
    auto client = std::make_unique<QLocalSocket>();
    client->connectToServer(server);
    EXPECT_TRUE(client->waitForConnected(2000));
    client->write(lines);
    client->waitForBytesWritten(2000);
    return client;
}

class RelayTest : public ::testing::Test
{
protected:
    RelayTest()
    {
        QObject::connect(&m_relay, &ViewerMessageRelay::messageForwarded,
                         [this](bool delivered) { m_forwards.push_back(delivered); });
    }

    const QString m_serverName = uniqueName(QStringLiteral("ovtrack-test"));
    const QString m_targetName = uniqueName(QStringLiteral("thmview-test"));
    ViewerMessageRelay m_relay{m_serverName, m_targetName};
    std::vector<bool> m_forwards;
};

TEST_F(RelayTest, Message2024IsForwardedAs2023ToTheListeningTarget)
{
    TargetProgram target(m_targetName);
    ASSERT_TRUE(target.isListening());
    ASSERT_TRUE(m_relay.start());

    auto first = sendLines(m_serverName, "2025\nhello\n2024\n");
    auto second = sendLines(m_serverName, "2024\r\n");

    ASSERT_TRUE(QTest::qWaitFor([&] { return target.received() == "2023\n2023\n"; }))
        << target.received().toStdString();
    EXPECT_EQ(m_forwards, (std::vector<bool>{true, true}));
}

TEST_F(RelayTest, WithoutATargetNothingIsSentAndTheRelayGoesOn)
{
    ASSERT_TRUE(m_relay.start());

    auto client = sendLines(m_serverName, "2024\n");
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_forwards.size() == 1; }));
    EXPECT_FALSE(m_forwards.front());

    TargetProgram target(m_targetName);
    client->write("2024\n");
    ASSERT_TRUE(QTest::qWaitFor([&] { return target.received() == "2023\n"; }));
}

TEST_F(RelayTest, ClientSendingNoLinesIsDroppedWithoutHarm)
{
    TargetProgram target(m_targetName);
    ASSERT_TRUE(m_relay.start());

    auto noisy = sendLines(m_serverName, QByteArray(200, '2'));
    ASSERT_TRUE(QTest::qWaitFor([&] { return noisy->state() == QLocalSocket::UnconnectedState; }));

    auto client = sendLines(m_serverName, "2024\n");
    ASSERT_TRUE(QTest::qWaitFor([&] { return target.received() == "2023\n"; }));
}

TEST_F(RelayTest, NameHeldByALiveViewerIsNotTaken)
{
    ASSERT_TRUE(m_relay.start());
    ViewerMessageRelay second(m_serverName, m_targetName);

    EXPECT_FALSE(second.start());
    EXPECT_FALSE(second.errorString().isEmpty());
}

TEST_F(RelayTest, SocketLeftByAViewerThatDiedIsTakenOver)
{
    // A bound socket that nobody listens on, as a killed viewer leaves it.
    const QByteArray path = QFile::encodeName(QDir::tempPath() + u'/' + m_serverName);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(path.size(), qsizetype(sizeof(address.sun_path)));
    std::memcpy(address.sun_path, path.constData(), path.size());
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof(address)), 0);
    ::close(fd);

    ASSERT_TRUE(m_relay.start()) << m_relay.errorString().toStdString();
    TargetProgram target(m_targetName);
    auto client = sendLines(m_serverName, "2024\n");
    EXPECT_TRUE(QTest::qWaitFor([&] { return target.received() == "2023\n"; }));
}

} // namespace
