#pragma once

#include "shared/db/ConnectionTarget.h"

#include <QMap>
#include <QString>

// Turns an OLE DB connection string (or "File name=" and a data-link file) into the target a
// database session opens.

// Keys are lower-cased; values keep their case, quotes removed.
QMap<QString, QString> parseInitString(const QString &initString);

// What stands for a password wherever a connection string is shown.
inline constexpr const char *MaskedPassword = "*****";
// The connection string as it may be shown: every Password and Pwd value (any case) replaced by
// MaskedPassword, the rest as written. For init strings and ODBC strings alike.
QString maskedConnectionString(const QString &connectionString);

// Throws DbError (access layer) for an unknown provider or an unreadable data-link file. A relative
// SQLite file is taken relative to `programFolder`. `defaultProvider` applies when the string names
// none (the viewer's is "SQLNCLI.1").
ConnectionTarget resolveConnectionString(const QString &connectionString, const QString &programFolder,
                                         const QString &defaultProvider = {});

// The ODBC connection string for a SQL Server init string (FreeTDS unless the string or the
// environment variable OVTRACK_ODBC_DRIVER names another driver).
QString odbcConnectionString(const QMap<QString, QString> &initProperties);
