#include "shared/ConnectionString.h"
#include "shared/DataLinkFile.h"
#include "shared/DbConnection.h"
#include "shared/DbError.h"

#include "tests/support/TestFolder.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

std::string errorOf(const std::function<void()> &action)
{
    try {
        action();
    } catch (const DbError &e) {
        return e.what();
    }
    return "no error";
}

TEST(ConnectionStringTest, SqliteFileRelativeToProgramFolder)
{
    const ConnectionTarget relative =
        resolveConnectionString("Provider=SQLite;Data Source=tracking.db", "/opt/ov/");
    EXPECT_EQ(relative.driver, "QSQLITE");
    EXPECT_EQ(relative.databaseName, "/opt/ov/tracking.db");
    const ConnectionTarget absolute =
        resolveConnectionString("provider=sqlite; data source = /var/t.db ;", "/opt/ov/");
    EXPECT_EQ(absolute.databaseName, "/var/t.db");
}

TEST(ConnectionStringTest, ViewerDefaultBecomesFreeTdsOdbcString)
{
    const ConnectionTarget target = resolveConnectionString(DefaultViewerInitString, "/opt/ov/");
    EXPECT_EQ(target.backend, Backend::SqlServer);
    EXPECT_EQ(target.driver, "QODBC");
    EXPECT_EQ(target.databaseName,
              "DRIVER={FreeTDS};SERVER=XXXXX;DATABASE=QZ2Tracking;Trusted_Connection=Yes;"
              "TDS_Version=7.3;ClientCharset=UTF-8");
    EXPECT_EQ(target.serverLabel, "XXXXX");
    EXPECT_TRUE(target.connectOptions.contains("SQL_ATTR_LOGIN_TIMEOUT="));
}

TEST(ConnectionStringTest, SqlServerPortsInstancesAndLogins)
{
    const auto odbc = [](const QString &init) { return resolveConnectionString(init, "/").databaseName; };
    EXPECT_EQ(odbc("Provider=SQLNCLI.1;Data Source=db1,1444;User ID=track;Password=p;w"),
              "DRIVER={FreeTDS};SERVER=db1;PORT=1444;UID=track;PWD={p};TDS_Version=7.3;ClientCharset=UTF-8");
    EXPECT_EQ(odbc("Provider=MSOLEDBSQL;Data Source=db1\\SQLEXPRESS;Password=\"a;b\";User ID=u"),
              "DRIVER={FreeTDS};SERVER=db1\\SQLEXPRESS;UID=u;PWD={a;b};TDS_Version=7.3;ClientCharset=UTF-8");
    EXPECT_EQ(odbc("Provider=SQLOLEDB;Data Source=(local);Driver=ODBC Driver 18 for SQL Server"),
              "DRIVER={ODBC Driver 18 for SQL Server};SERVER=localhost;TDS_Version=7.3;ClientCharset=UTF-8");
    // The viewer's default provider applies when none is named.
    EXPECT_EQ(resolveConnectionString("Data Source=db1;Initial Catalog=T", "/", "SQLNCLI.1").driver, "QODBC");
}

TEST(ConnectionStringTest, PostgresHostsPortsSocketsAndLogins)
{
    const ConnectionTarget plain = resolveConnectionString(
        "Provider=PostgreSQL;Data Source=db1;Initial Catalog=QZ2Tracking;User ID=track;Password=p;w", "/");
    EXPECT_EQ(plain.backend, Backend::PostgreSql);
    EXPECT_EQ(plain.driver, "QPSQL");
    EXPECT_EQ(plain.hostName, "db1");
    EXPECT_EQ(plain.port, -1);
    EXPECT_EQ(plain.databaseName, "QZ2Tracking");
    EXPECT_EQ(plain.userName, "track");
    EXPECT_EQ(plain.password, "p");
    EXPECT_EQ(plain.serverLabel, "db1");
    EXPECT_EQ(plain.connectOptions, "connect_timeout=15");

    const ConnectionTarget comma = resolveConnectionString("provider=postgresql;Data Source=db1,5433", "/");
    EXPECT_EQ(comma.hostName, "db1");
    EXPECT_EQ(comma.port, 5433);
    const ConnectionTarget colon =
        resolveConnectionString("Provider=PostgreSQL;Data Source=10.0.0.7:6543", "/");
    EXPECT_EQ(colon.hostName, "10.0.0.7");
    EXPECT_EQ(colon.port, 6543);
    // A socket folder is a path, colons and commas in it included; no password: libpq's own sources.
    const ConnectionTarget socket =
        resolveConnectionString("Provider=PostgreSQL;Data Source=/run/post:gres,x;User ID=ov", "/");
    EXPECT_EQ(socket.hostName, "/run/post:gres,x");
    EXPECT_EQ(socket.port, -1);
    EXPECT_TRUE(socket.password.isEmpty());
    EXPECT_EQ(
        resolveConnectionString("Provider=PostgreSQL;Data Source=db;Connect Timeout=3", "/").connectOptions,
        "connect_timeout=3");
    EXPECT_NE(errorOf([] {
                  resolveConnectionString("Provider=PostgreSQL;Data Source=db1:port", "/");
              }).find("db1:port"),
              std::string::npos);
}

TEST(ConnectionStringTest, DataLinkFileAndUnknownProvider)
{
    TestFolder folder;
    writeDataLinkFile(folder.filePath("qztrack.udl"), "Provider=SQLite;Data Source=t.db");
    const ConnectionTarget target =
        resolveConnectionString("File name=" + folder.filePath("qztrack.udl"), folder.path());
    EXPECT_EQ(target.databaseName, folder.filePath("t.db"));
    EXPECT_EQ(target.initString, "Provider=SQLite;Data Source=t.db");

    EXPECT_NE(errorOf([] {
                  resolveConnectionString("Provider=Jet.OLEDB.4;Data Source=x.mdb", "/");
              }).find("Jet.OLEDB.4"),
              std::string::npos);
    EXPECT_NE(errorOf([] { resolveConnectionString("Data Source=x", "/"); }).find("no Provider"),
              std::string::npos);
    EXPECT_NE(errorOf([&] {
                  resolveConnectionString("File name=" + folder.filePath("none.udl"), "/");
              }).find("none.udl"),
              std::string::npos);
}

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
