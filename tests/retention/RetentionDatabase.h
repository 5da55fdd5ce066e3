#pragma once

#include "shared/tracking/DbConnection.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <optional>

// Rows and content put straight into a tracking database, and read back, for the retention tests.
class RetentionDatabase
{
public:
    explicit RetentionDatabase(DbConnection &connection) : m_connection(connection) {}

    void createContentTable();
    void addRow(const QString &msgId, const std::optional<QDateTime> &received,
                const std::optional<QDateTime> &delivered);
    // `count` rows named prefix1, prefix2, ... in one transaction.
    void addRows(const QString &prefix, int count, const QDateTime &received,
                 const std::optional<QDateTime> &delivered);
    void addContent(const QString &msgId);

    // "MsgID delivery" per row, sorted; a waiting row shows "waiting".
    QStringList trackingRows();
    QStringList contentIds();
    qint64 count(const QString &table);

private:
    DbConnection &m_connection;
};
