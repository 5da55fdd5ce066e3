#pragma once

#include "shared/tracking/DbConnection.h"
#include "shared/tracking/DbResult.h"
#include "shared/text/WallClock.h"
#include "tests/support/TestDatabase.h"

#include <QDateTime>
#include <QString>
#include <QVariantMap>

#include <memory>

// True when no connection but `observer` holds a statement open on the observer's database: on
// SQLite every frame of the log can be copied back into the file; on PostgreSQL no other client
// session is running a statement.
bool nothingHeldOpenBesides(DbConnection &observer);

// A real database with an empty Tracking table, and rows put into it column by column.
class TrackingTestDatabase
{
public:
    // `folder` ends with "/"; a SQLite database is the file `folder` + `fileName`.
    TrackingTestDatabase(const QString &folder, const QString &fileName = QStringLiteral("tracking.db"),
                         bool withTrackingTable = true, Backend backend = Backend::Sqlite);

    QString connectionString() const;
    DbConnection &connection() { return m_connection; }

    // Column name to value; QDateTime values are date-time columns, everything else text or int.
    void insert(const QVariantMap &columns);
    QVariant valueOf(const QString &msgId, const QString &column);
    // The value as text, date-times as "yyyy-MM-dd HH:mm:ss.zzz" on every backend; empty for NULL.
    QString textOf(const QString &msgId, const QString &column);

    static QDateTime at(int year, int month, int day, int hour = 0, int minute = 0, int second = 0)
    {
        return WallClock::of(QDate(year, month, day), QTime(hour, minute, second));
    }

private:
    DbResult select(const QString &msgId, const QString &column);

    std::unique_ptr<TestDatabase> m_database;
    DbConnection m_connection;
};
