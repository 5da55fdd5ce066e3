#include "tests/retention/RetentionDatabase.h"

#include "shared/tracking/DbStatement.h"

void RetentionDatabase::createContentTable()
{
    m_connection.execute(m_connection.dialect().createContentSql());
}

void RetentionDatabase::addRow(const QString &msgId, const std::optional<QDateTime> &received,
                               const std::optional<QDateTime> &delivered)
{
    DbStatement insert(m_connection,
                       QStringLiteral("insert into Tracking (MsgID, QZServerReceiveTime, "
                                      "QZDeliveryTime) values (:MsgID, :Received, :Delivered)"));
    insert.bind(QStringLiteral("MsgID"), ParamType::Text, msgId);
    insert.bind(QStringLiteral("Received"), ParamType::DateTime, received ? QVariant(*received) : QVariant());
    insert.bind(QStringLiteral("Delivered"), ParamType::DateTime,
                delivered ? QVariant(*delivered) : QVariant());
    insert.execute();
}

void RetentionDatabase::addRows(const QString &prefix, int count, const QDateTime &received,
                                const std::optional<QDateTime> &delivered)
{
    m_connection.beginTransaction();
    for (int i = 1; i <= count; ++i)
        addRow(prefix + QString::number(i), received, delivered);
    m_connection.commit();
}

void RetentionDatabase::addContent(const QString &msgId)
{
    DbStatement insert(m_connection,
                       QStringLiteral("insert into HM_CONTENT (MsgID, HMData) values (:MsgID, :Data)"));
    insert.bind(QStringLiteral("MsgID"), ParamType::Text, msgId);
    insert.bind(QStringLiteral("Data"), ParamType::LongText, QByteArray("MSH|content of ") + msgId.toUtf8());
    insert.execute();
}

QStringList RetentionDatabase::trackingRows()
{
    DbStatement select(m_connection, QStringLiteral("select MsgID, QZDeliveryTime from Tracking"));
    const DbResult result = select.open();
    QStringList rows;
    for (int row = 0; row < result.rowCount(); ++row) {
        const auto delivered = result.dateTime(row, QStringLiteral("QZDeliveryTime"));
        rows << result.text(row, QStringLiteral("MsgID")) + u' ' +
                    (delivered ? delivered->toString(QStringLiteral("yyyy-MM-dd"))
                               : QStringLiteral("waiting"));
    }
    rows.sort();
    return rows;
}

QStringList RetentionDatabase::contentIds()
{
    DbStatement select(m_connection, QStringLiteral("select MsgID from HM_CONTENT"));
    const DbResult result = select.open();
    QStringList ids;
    for (int row = 0; row < result.rowCount(); ++row)
        ids << result.text(row, QStringLiteral("MsgID"));
    ids.sort();
    return ids;
}

qint64 RetentionDatabase::count(const QString &table)
{
    DbStatement select(m_connection, QStringLiteral("select count(*) as n from ") + table);
    return select.open().integer(0, QStringLiteral("n")).value_or(-1);
}
