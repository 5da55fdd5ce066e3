#include "shared/DbError.h"

#include <QSqlError>

QString sqlErrorText(const QSqlError &error)
{
    const QString database = error.databaseText().trimmed();
    const QString driver = error.driverText().trimmed();
    if (database.isEmpty())
        return driver;
    if (driver.isEmpty() || database.contains(driver))
        return database;
    return driver + QStringLiteral(": ") + database;
}
