#include "shared/config/ConnectionString.h"
#include "shared/config/DataLinkFile.h"
#include "shared/tracking/DbConnection.h"
#include "shared/db/DbError.h"

#include "tests/shared/ErrorOf.h"
#include "tests/support/TestFolder.h"

#include <gtest/gtest.h>

namespace {

TEST(ConnectionStringTest, SqliteFileRelativeToProgramFolder)
{
    const ConnectionTarget relative =
        resolveConnectionString("Provider=SQLite;Data Source=tracking.db", "/opt/ov/");
    EXPECT_EQ(relative.backend, Backend::Sqlite);
    EXPECT_EQ(relative.databaseName, "/opt/ov/tracking.db");
    const ConnectionTarget absolute =
        resolveConnectionString("provider=sqlite; data source = /var/t.db ;", "/opt/ov/");
    EXPECT_EQ(absolute.databaseName, "/var/t.db");
}

TEST(ConnectionStringTest, ViewerDefaultBecomesFreeTdsOdbcString)
{
    const ConnectionTarget target = resolveConnectionString(DefaultViewerInitString, "/opt/ov/");
    EXPECT_EQ(target.backend, Backend::SqlServer);
    EXPECT_EQ(target.backend, Backend::SqlServer);
    EXPECT_EQ(target.databaseName,
              "DRIVER={FreeTDS};SERVER=XXXXX;DATABASE=QZ2Tracking;Trusted_Connection=Yes;"
              "TDS_Version=7.3;ClientCharset=UTF-8");
    EXPECT_EQ(target.serverLabel, "XXXXX");
    EXPECT_GT(target.connectTimeoutSeconds, 0);
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
    EXPECT_EQ(resolveConnectionString("Data Source=db1;Initial Catalog=T", "/", "SQLNCLI.1").backend, Backend::SqlServer);
}

TEST(ConnectionStringTest, PostgresHostsPortsSocketsAndLogins)
{
    const ConnectionTarget plain = resolveConnectionString(
        "Provider=PostgreSQL;Data Source=db1;Initial Catalog=QZ2Tracking;User ID=track;Password=p;w", "/");
    EXPECT_EQ(plain.backend, Backend::PostgreSql);
    EXPECT_EQ(plain.backend, Backend::PostgreSql);
    EXPECT_EQ(plain.hostName, "db1");
    EXPECT_EQ(plain.port, -1);
    EXPECT_EQ(plain.databaseName, "QZ2Tracking");
    EXPECT_EQ(plain.userName, "track");
    EXPECT_EQ(plain.password, "p");
    EXPECT_EQ(plain.serverLabel, "db1");
    EXPECT_EQ(plain.connectTimeoutSeconds, 15);

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
        resolveConnectionString("Provider=PostgreSQL;Data Source=db;Connect Timeout=3", "/").connectTimeoutSeconds,
        3);
    EXPECT_NE(errorOf([] {
                  resolveConnectionString("Provider=PostgreSQL;Data Source=db1:port", "/");
              }).find("db1:port"),
              std::string::npos);
}

// Mended fault: a bracketed IPv6 address kept its brackets as the host, and a bare one lost its
// last group to the port.
TEST(ConnectionStringTest, PostgresIpv6Addresses)
{
    struct Case
    {
        const char *dataSource;
        const char *host;
        int port;
    };
    for (const Case &c : std::initializer_list<Case>{{"fe80::1", "fe80::1", -1},
                                                     {"::1", "::1", -1},
                                                     {"2001:db8::5:6543", "2001:db8::5:6543", -1},
                                                     {"[::1]", "::1", -1},
                                                     {"[::1]:5433", "::1", 5433},
                                                     {" [fe80::1%eth0] , 5433 ", "fe80::1%eth0", 5433},
                                                     {"fe80::1,5433", "fe80::1", 5433},
                                                     {"db1:5433", "db1", 5433},
                                                     {"127.0.0.1", "127.0.0.1", -1}}) {
        const ConnectionTarget target =
            resolveConnectionString(QStringLiteral("Provider=PostgreSQL;Data Source=") + c.dataSource, "/");
        EXPECT_EQ(target.hostName, c.host) << c.dataSource;
        EXPECT_EQ(target.port, c.port) << c.dataSource;
    }
    for (const char *bad : {"[::1]:", "[::1]:x", "[::1]5433", "[::1", "[::1]:70000"}) {
        EXPECT_NE(errorOf([&] {
                      resolveConnectionString(QStringLiteral("Provider=PostgreSQL;Data Source=") + bad, "/");
                  }).find(bad),
                  std::string::npos)
            << bad;
    }
}

// Mended fault: a failed connection showed its password wherever the string was shown.
TEST(ConnectionStringTest, MaskedStringsHideEveryPasswordAndKeepTheRest)
{
    struct Case
    {
        const char *given;
        const char *shown;
    };
    for (const Case &c : std::initializer_list<Case>{
             {"Provider=PostgreSQL;Data Source=db1;User ID=ov;Password=s3cret",
              "Provider=PostgreSQL;Data Source=db1;User ID=ov;Password=*****"},
             {"PASSWORD=a;pwd=b;Pwd = c ;Data Source=x", "PASSWORD=*****;pwd=*****;Pwd =*****;Data Source=x"},
             {"Provider=SQLNCLI.1;Password=\"a;b=c\";User ID=u", "Provider=SQLNCLI.1;Password=*****;User ID=u"},
             {"Password='it''s';User ID=u", "Password=*****;User ID=u"},
             {"DRIVER={FreeTDS};SERVER=db1;UID=u;PWD={p;w};TDS_Version=7.3",
              "DRIVER={FreeTDS};SERVER=db1;UID=u;PWD=*****;TDS_Version=7.3"},
             {"Password=", "Password=*****"},
             {"Provider=SQLite;Data Source=t.db;Passwords=x;Password Hint=y",
              "Provider=SQLite;Data Source=t.db;Passwords=x;Password Hint=y"},
             {"File name=/opt/ov/qztrack.udl", "File name=/opt/ov/qztrack.udl"},
             {"", ""}}) {
        EXPECT_EQ(maskedConnectionString(c.given), c.shown) << c.given;
    }

    // The init string inside a data-link file, read back from the file.
    TestFolder folder;
    writeDataLinkFile(folder.filePath("qztrack.udl"),
                      "Provider=PostgreSQL;Data Source=db1;User ID=ov;pwd=s3cret;Initial Catalog=T");
    const ConnectionTarget target =
        resolveConnectionString("File name=" + folder.filePath("qztrack.udl"), folder.path());
    EXPECT_EQ(maskedConnectionString(target.initString),
              "Provider=PostgreSQL;Data Source=db1;User ID=ov;pwd=*****;Initial Catalog=T");
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

} // namespace
