// What a PostgreSQL session gets at connect beside the login: the address it was given, and the
// machine's time zone.
#include "shared/tracking/DbStatement.h"
#include "shared/tracking/PostgresSessionZone.h"
#include "shared/text/WallClock.h"

#include "tests/shared/PostgresTrackingTest.h"
#include "tests/support/PostgresServer.h"

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <ctime>
#include <thread>

namespace {

// Relays one TCP connection on the IPv6 loopback to the test server's Unix socket (the server
// listens on no TCP port).
class Ipv6Relay
{
public:
    explicit Ipv6Relay(const QString &unixSocket)
    {
        m_listener = ::socket(AF_INET6, SOCK_STREAM, 0);
        sockaddr_in6 address{};
        address.sin6_family = AF_INET6;
        address.sin6_addr = in6addr_loopback;
        socklen_t length = sizeof address;
        if (::bind(m_listener, reinterpret_cast<sockaddr *>(&address), length) != 0 ||
            ::listen(m_listener, 1) != 0 ||
            ::getsockname(m_listener, reinterpret_cast<sockaddr *>(&address), &length) != 0)
            return;
        m_port = ntohs(address.sin6_port);
        m_thread = std::thread([this, path = unixSocket.toStdString()] { relayOne(path); });
    }
    ~Ipv6Relay()
    {
        ::shutdown(m_listener, SHUT_RDWR); // ends a wait in accept()
        if (m_thread.joinable())
            m_thread.join();
        ::close(m_listener);
    }

    int port() const { return m_port; }
    bool reached() const { return m_reached; }

private:
    void relayOne(const std::string &path)
    {
        const int client = ::accept(m_listener, nullptr, nullptr);
        if (client < 0)
            return;
        m_reached = true;
        const int server = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
        if (::connect(server, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0)
            pump(client, server);
        ::close(server);
        ::close(client);
    }

    static void pump(int a, int b)
    {
        pollfd ends[2] = {{a, POLLIN, 0}, {b, POLLIN, 0}};
        char buffer[16384];
        while (::poll(ends, 2, -1) > 0) {
            for (int i = 0; i < 2; ++i) {
                if (!ends[i].revents)
                    continue;
                const ssize_t read = ::read(ends[i].fd, buffer, sizeof buffer);
                if (read <= 0 || ::write(ends[1 - i].fd, buffer, size_t(read)) != read)
                    return;
            }
        }
    }

    int m_listener = -1;
    int m_port = 0;
    std::atomic<bool> m_reached{false};
    std::thread m_thread;
};

using PostgresSessionTest = PostgresTrackingTest;

// Mended fault: "[::1]:5433" kept its brackets as the host name, and "::1" lost its last group to
// the port.
TEST_F(PostgresSessionTest, ABracketedIpv6AddressWithAPortReachesTheServer)
{
    const QString socketFolder = TestPostgres::server()->socketFolder();
    Ipv6Relay relay(socketFolder + QStringLiteral("/.s.PGSQL.5432"));
    ASSERT_GT(relay.port(), 0) << "no IPv6 loopback";
    QString overIpv6 = database->connectionString();
    overIpv6.replace(QStringLiteral("Data Source=") + socketFolder,
                     QStringLiteral("Data Source=[::1]:%1").arg(relay.port()));
    {
        DbConnection connection(folder.path());
        connection.open(overIpv6);
        DbStatement select(connection, QStringLiteral("select count(*) as N from Tracking"));
        EXPECT_EQ(select.open().integer(0, QStringLiteral("N")).value_or(-1), 0);
    }
    EXPECT_TRUE(relay.reached());

    // A bare address has no port: libpq tries the default one on ::1, and names the address it was given.
    DbConnection bare(folder.path());
    const std::string message = [&] {
        try {
            bare.open(QStringLiteral("Provider=PostgreSQL;Data Source=::1;Connect Timeout=2;User ID=u"));
        } catch (const DbError &e) {
            return std::string(e.what());
        }
        return std::string("connected");
    }();
    EXPECT_NE(message.find("\"::1\", port 5432"), std::string::npos) << message;
}

// TZ for one test, the C library told at once.
class ScopedTimeZone
{
public:
    explicit ScopedTimeZone(const char *zone) : m_had(qEnvironmentVariableIsSet("TZ")), m_old(qgetenv("TZ"))
    {
        qputenv("TZ", zone);
        tzset();
    }
    ~ScopedTimeZone()
    {
        if (m_had)
            qputenv("TZ", m_old);
        else
            qunsetenv("TZ");
        tzset();
    }

private:
    bool m_had;
    QByteArray m_old;
};

qint64 secondsFromNow(const QDateTime &wallClock)
{
    return qAbs(wallClock.secsTo(WallClock::now()));
}

// Mended fault: the session kept the server's zone, so "Tag as Managed" stamped the server's wall
// clock while retention takes its cut-off from this machine's.
TEST_F(PostgresSessionTest, TheServersLocalTimeIsTheMachinesUnderAnyZone)
{
    // Fourteen hours east of UTC, and not the test server's zone (checked below).
    ScopedTimeZone zone("Pacific/Kiritimati");
    DbConnection connection(folder.path());
    connection.open(database->connectionString());
    DbStatement insert(connection, QStringLiteral("insert into Tracking (MsgID, QZServerReceiveTime) values "
                                                  "('M1', '2020-01-01 00:00:00')"));
    insert.execute();
    DbStatement tag(connection, connection.dialect().tagAsManagedSql());
    tag.bind(QStringLiteral("QMessageID"), ParamType::Text, QStringLiteral("M1"));
    ASSERT_EQ(tag.execute(), 1);
    DbStatement stamped(connection, QStringLiteral("select QZServerReceiveTime from Tracking"));
    const std::optional<QDateTime> at = stamped.open().dateTime(0, QStringLiteral("QZServerReceiveTime"));
    ASSERT_TRUE(at);
    EXPECT_LT(secondsFromNow(*at), 120) << at->toString(Qt::ISODate).toStdString();

    connection.execute(QStringLiteral("reset TimeZone"));
    DbStatement serverClock(connection, QStringLiteral("select localtimestamp(3) as T"));
    const std::optional<QDateTime> server = serverClock.open().dateTime(0, QStringLiteral("T"));
    ASSERT_TRUE(server);
    EXPECT_GT(secondsFromNow(*server), 3600) << "the test server runs in the zone this test needs to differ";
}

TEST(PostgresSessionZoneTest, TheMachinesZoneAsTheServerNamesZones)
{
    {
        ScopedTimeZone zone(":Europe/London");
        EXPECT_EQ(machineTimeZoneName(), "Europe/London");
    }
    {
        ScopedTimeZone zone("/usr/share/zoneinfo/America/Sao_Paulo");
        EXPECT_EQ(machineTimeZoneName(), "America/Sao_Paulo");
    }
    {
        ScopedTimeZone zone("");
        EXPECT_EQ(machineTimeZoneName(), "UTC");
    }
    EXPECT_EQ(fixedOffsetZone(19800), "<+0530>-05:30");
    EXPECT_EQ(fixedOffsetZone(-3 * 3600), "<-0300>+03:00");
    EXPECT_EQ(fixedOffsetZone(0), "<+0000>-00:00");
}

// A zone name the server does not know gives way to the current offset, which the server must read
// with the sign this process means.
TEST_F(PostgresSessionTest, AFixedOffsetZoneMeansTheSameOffsetToTheServer)
{
    for (const int offset : {19800, -3 * 3600}) {
        DbStatement set(db, QStringLiteral("select set_config('TimeZone', :Zone, false) as Z"));
        set.bind(QStringLiteral("Zone"), ParamType::Text, fixedOffsetZone(offset));
        set.open();
        DbStatement clock(db, QStringLiteral("select localtimestamp(3) as T"));
        const std::optional<QDateTime> server = clock.open().dateTime(0, QStringLiteral("T"));
        ASSERT_TRUE(server);
        const QDateTime expected = WallClock::relabelled(QDateTime::currentDateTimeUtc().addSecs(offset));
        EXPECT_LT(qAbs(server->secsTo(expected)), 120) << offset;
    }
}

} // namespace
