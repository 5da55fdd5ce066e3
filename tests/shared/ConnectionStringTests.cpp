#include "shared/ConnectionString.h"
#include "shared/DataLinkFile.h"
#include "shared/DbConnection.h"
#include "shared/DbError.h"

#include "tests/shared/ErrorOf.h"
#include "tests/support/TestFolder.h"

#include <gtest/gtest.h>

namespace {

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

} // namespace
