#include "tests/support/TrackingTestDatabase.h"

#include "shared/tracking/DbStatement.h"

#include "tests/support/TestFolder.h"

TrackingTestDatabase::TrackingTestDatabase(const QString &folder, const QString &fileName,
                                           bool withTrackingTable, Backend backend)
    : m_database(std::make_unique<TestDatabase>(backend, folder, fileName)), m_connection(folder)
{
    m_connection.openCreating(connectionString());
    if (withTrackingTable)
        m_connection.execute(m_connection.dialect().createTrackingSql());
}

QString TrackingTestDatabase::connectionString() const
{
    return m_database->connectionString();
}

void TrackingTestDatabase::insert(const QVariantMap &columns)
{
    QStringList names;
    QStringList parameters;
    for (auto it = columns.cbegin(); it != columns.cend(); ++it) {
        names << it.key();
        parameters << u':' + it.key();
    }
    DbStatement insert(m_connection,
                       QStringLiteral("insert into Tracking (%1) values (%2)")
                           .arg(names.join(QStringLiteral(", ")), parameters.join(QStringLiteral(", "))));
    for (auto it = columns.cbegin(); it != columns.cend(); ++it) {
        const int type = it.value().metaType().id();
        const ParamType paramType = type == QMetaType::QDateTime ? ParamType::DateTime
                                    : type == QMetaType::Int     ? ParamType::Int
                                                                 : ParamType::Text;
        insert.bind(it.key(), paramType, it.value());
    }
    insert.execute();
}

DbResult TrackingTestDatabase::select(const QString &msgId, const QString &column)
{
    DbStatement select(m_connection, QStringLiteral("select %1 from Tracking where MsgID = :id").arg(column));
    select.bind(QStringLiteral("id"), ParamType::Text, msgId);
    return select.open();
}

QVariant TrackingTestDatabase::valueOf(const QString &msgId, const QString &column)
{
    const DbResult result = select(msgId, column);
    return result.rowCount() > 0 ? result.value(0, column) : QVariant();
}

QString TrackingTestDatabase::textOf(const QString &msgId, const QString &column)
{
    const DbResult result = select(msgId, column);
    return result.rowCount() > 0 ? result.text(0, column) : QString();
}

bool nothingHeldOpenBesides(DbConnection &observer)
{
    if (observer.target().backend == Backend::Sqlite) {
        const DbResult result = DbStatement(observer, "PRAGMA wal_checkpoint(TRUNCATE)").open();
        return result.integer(0, "busy") == 0 && result.integer(0, "log") == 0;
    }
    const DbResult result = DbStatement(observer, "select count(*) as busy from pg_stat_activity where datname = "
                                                  "current_database() and pid <> pg_backend_pid() and state <> "
                                                  "'idle' and backend_type = 'client backend'")
                                .open();
    return result.integer(0, "busy") == 0;
}
