#include "shared/SqlDialect.h"

#include "shared/SqlServerDialect.h"
#include "shared/SqliteDialect.h"

QString quoteMessageId(const QString &messageId)
{
    QString quoted = messageId;
    quoted.replace(u'\'', QLatin1String("''"));
    return quoted;
}

QString SqlDialect::createIndexSql(const QString &index, const QString &table, const QString &column) const
{
    return QStringLiteral("CREATE INDEX %1 ON %2 (%3)").arg(index, table, column);
}

QString SqlDialect::lowDeliverySql(const QString &messageId) const
{
    const QString id = quoteMessageId(messageId);
    return QStringLiteral("select QZDeliveryTime,QZServerReceiveTime from Tracking where MsgID='") + id +
           QStringLiteral("' and  QZDeliveryTime in ") +
           QStringLiteral("(select min(QZDeliveryTime) as MinQZDeliveryTime from Tracking where ") +
           QStringLiteral("QZDeliveryTime is not null ") + QStringLiteral("and MsgId = '") + id +
           QStringLiteral("')");
}

std::optional<QDateTime> SqlDialect::dateTimeValue(const QVariant &value) const
{
    if (value.isNull() || !value.isValid())
        return std::nullopt;
    if (value.metaType().id() == QMetaType::QDateTime)
        return value.toDateTime();
    if (value.metaType().id() == QMetaType::QDate)
        return QDateTime(value.toDate(), QTime(0, 0));
    const QString text = value.toString().trimmed();
    static const char *const formats[] = {"yyyy-MM-dd HH:mm:ss.zzz", "yyyy-MM-dd HH:mm:ss", "yyyy-MM-dd HH:mm",
                                          "yyyy-MM-ddTHH:mm:ss.zzz", "yyyy-MM-ddTHH:mm:ss", "yyyy-MM-dd"};
    for (const char *format : formats) {
        const QDateTime parsed = QDateTime::fromString(text, QLatin1String(format));
        if (parsed.isValid())
            return parsed;
    }
    return std::nullopt;
}

std::unique_ptr<SqlDialect> SqlDialect::create(Backend backend)
{
    switch (backend) {
    case Backend::SqlServer:
        return std::make_unique<SqlServerDialect>();
    case Backend::Sqlite:
        break;
    }
    return std::make_unique<SqliteDialect>();
}
