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
    const ConnectionTarget relative = resolveConnectionString("Provider=SQLite;Data Source=tracking.db", "/opt/ov/");
    EXPECT_EQ(relative.driver, "QSQLITE");
    EXPECT_EQ(relative.databaseName, "/opt/ov/tracking.db");
    const ConnectionTarget absolute = resolveConnectionString("provider=sqlite; data source = /var/t.db ;", "/opt/ov/");
    EXPECT_EQ(absolute.databaseName, "/var/t.db");
}

TEST(ConnectionStringTest, ViewerDefaultBecomesFreeTdsOdbcString)
{
    const ConnectionTarget target = resolveConnectionString(DefaultViewerInitString, "/opt/ov/");
    EXPECT_EQ(target.backend, Backend::SqlServer);
    EXPECT_EQ(target.driver, "QODBC");
    EXPECT_EQ(target.databaseName, "DRIVER={FreeTDS};SERVER=XXXXX;DATABASE=QZ2Tracking;Trusted_Connection=Yes;"
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

TEST(ConnectionStringTest, DataLinkFileAndUnknownProvider)
{
    TestFolder folder;
    writeDataLinkFile(folder.filePath("qztrack.udl"), "Provider=SQLite;Data Source=t.db");
    const ConnectionTarget target =
        resolveConnectionString("File name=" + folder.filePath("qztrack.udl"), folder.path());
    EXPECT_EQ(target.databaseName, folder.filePath("t.db"));
    EXPECT_EQ(target.initString, "Provider=SQLite;Data Source=t.db");

    EXPECT_NE(errorOf([] { resolveConnectionString("Provider=Jet.OLEDB.4;Data Source=x.mdb", "/"); })
                  .find("Jet.OLEDB.4"),
              std::string::npos);
    EXPECT_NE(errorOf([] { resolveConnectionString("Data Source=x", "/"); }).find("no Provider"), std::string::npos);
    EXPECT_NE(errorOf([&] { resolveConnectionString("File name=" + folder.filePath("none.udl"), "/"); })
                  .find("none.udl"),
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

TEST(SqlServerConnectionTest, ServerThatNeverAnswersTimesOutWithin30Seconds)
{
    // A socket that listens but never accepts: the handshake completes and nothing answers.
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(listener, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 4), 0);
    socklen_t length = sizeof address;
    ::getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length);
    const int port = ntohs(address.sin_port);

    DbConnection connection("/");
    QElapsedTimer timer;
    timer.start();
    const std::string message = errorOf([&] {
        connection.open(QStringLiteral("Provider=SQLOLEDB.1;Data Source=127.0.0.1,%1;User ID=u;Password=p").arg(port));
    });
    ::close(listener);
    EXPECT_NE(message.find("127.0.0.1"), std::string::npos) << message;
    EXPECT_LT(timer.elapsed(), 30000);
}

} // namespace
