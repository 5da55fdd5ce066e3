// Connecting to a database server that is not there, or that never answers: each fails in time
// and names the server. Time zones play no part, so these run once.
#include "shared/tracking/DbConnection.h"

#include "tests/shared/ErrorOf.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

TEST(SqlServerConnectionTest, NoServerListeningFailsAtOnceNamingTheServer)
{
    DbConnection connection("/");
    QElapsedTimer timer;
    timer.start();
    const std::string message =
        errorOf([&] { connection.open("Provider=SQLOLEDB.1;Data Source=127.0.0.1,1;User ID=u;Password=p"); });
    EXPECT_NE(message.find("127.0.0.1"), std::string::npos) << message;
    EXPECT_LT(timer.elapsed(), 30000);
    EXPECT_FALSE(connection.isOpen());
}

// A socket that listens but never accepts: the handshake completes and nothing answers.
class SilentServer
{
public:
    SilentServer()
    {
        m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(m_listener, reinterpret_cast<sockaddr *>(&address), sizeof address);
        ::listen(m_listener, 4);
        socklen_t length = sizeof address;
        ::getsockname(m_listener, reinterpret_cast<sockaddr *>(&address), &length);
        m_port = ntohs(address.sin_port);
    }
    ~SilentServer() { ::close(m_listener); }
    int port() const { return m_port; }

private:
    int m_listener = -1;
    int m_port = 0;
};

TEST(PostgresConnectionTest, ServerThatNeverAnswersFailsWithin15SecondsNamingTheServer)
{
    SilentServer silent;
    ASSERT_GT(silent.port(), 0);
    DbConnection connection("/");
    QElapsedTimer timer;
    timer.start();
    const std::string message = errorOf([&] {
        connection.open(
            QStringLiteral("Provider=PostgreSQL;Data Source=127.0.0.1:%1;User ID=u").arg(silent.port()));
    });
    EXPECT_NE(message.find("Cannot connect to PostgreSQL server \"127.0.0.1:"), std::string::npos) << message;
    EXPECT_LT(timer.elapsed(), 16000);
    EXPECT_FALSE(connection.isOpen());
}

TEST(SqlServerConnectionTest, ServerThatNeverAnswersTimesOutWithin30Seconds)
{
    SilentServer silent;
    ASSERT_GT(silent.port(), 0);
    const int port = silent.port();

    DbConnection connection("/");
    QElapsedTimer timer;
    timer.start();
    const std::string message = errorOf([&] {
        connection.open(
            QStringLiteral("Provider=SQLOLEDB.1;Data Source=127.0.0.1,%1;User ID=u;Password=p").arg(port));
    });
    EXPECT_NE(message.find("127.0.0.1"), std::string::npos) << message;
    EXPECT_LT(timer.elapsed(), 30000);
}

} // namespace
