#pragma once

#include <QString>

// Where a session connects: the backend and what its client library needs.

enum class Backend
{
    SqlServer, // through ODBC, FreeTDS by default
    Sqlite,
    PostgreSql
};

struct ConnectionTarget
{
    Backend backend = Backend::Sqlite;
    QString databaseName; // SQLite file, PostgreSQL database or ODBC connection string
    QString serverLabel;  // the server or file that messages name
    QString hostName;       // server drivers only; empty for the driver's default
    int port = -1;
    QString userName;
    QString password;   // empty: the driver's own sources (a password file, peer authentication)
    QString initString; // the OLE DB string the target was made from
    int connectTimeoutSeconds = 0; // server backends: how long a connection attempt may take
};
