#include "loader/FieldValues.h"

#include "shared/db/DbError.h"

QVariant dateBindValue(const DateField &field)
{
    if (field.isDateTime())
        return field.dateTime();
    if (field.isUnreadable())
        return UnreadableDate;
    return {};
}

QString textOrEmpty(const std::optional<QString> &value)
{
    // A null QString is bound as NULL: only a non-null empty one is the empty text.
    if (!value || value->isNull())
        return QString(QLatin1String(""));
    return *value;
}

QString dateLogText(const std::optional<QDateTime> &value)
{
    return value ? value->toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")) : QString();
}

QString dateLogText(const DateField &field)
{
    if (field.isUnreadable())
        return QString::number(UnreadableDate);
    return field.isDateTime() ? dateLogText(std::optional<QDateTime>(field.dateTime())) : QString();
}

QString errorText(const std::exception &error)
{
    if (const auto *db = dynamic_cast<const DbError *>(&error))
        return db->message();
    return QString::fromLocal8Bit(error.what());
}
