#include "shared/tracking/DbResult.h"

#include "shared/db/DbError.h"
#include "shared/tracking/SqlDialect.h"
#include "shared/text/WallClock.h"

DbResult::DbResult(QStringList fieldNames, std::vector<std::vector<QVariant>> rows,
                   std::shared_ptr<const SqlDialect> dialect)
    : m_fieldNames(std::move(fieldNames)), m_rows(std::move(rows)), m_dialect(std::move(dialect))
{}

int DbResult::fieldIndex(const QString &field) const
{
    // Callers mostly write the names as the statement does: that costs no comparison of cases.
    if (const qsizetype exact = m_fieldNames.indexOf(field); exact >= 0)
        return static_cast<int>(exact);
    for (qsizetype i = 0; i < m_fieldNames.size(); ++i) {
        const QString &name = m_fieldNames.at(i);
        if (name.size() == field.size() && name.compare(field, Qt::CaseInsensitive) == 0)
            return static_cast<int>(i);
    }
    return -1;
}

bool DbResult::hasField(const QString &field) const
{
    return fieldIndex(field) >= 0;
}

QVariant DbResult::value(int row, const QString &field) const
{
    const int index = fieldIndex(field);
    if (index < 0)
        throw DbError(DbError::Kind::AccessLayer, QStringLiteral("Field '%1' not found").arg(field));
    if (row < 0 || row >= rowCount())
        throw DbError(DbError::Kind::AccessLayer, QStringLiteral("Row %1 is out of range").arg(row));
    return m_rows[row][index];
}

bool DbResult::isNull(int row, const QString &field) const
{
    return value(row, field).isNull();
}

QString DbResult::text(int row, const QString &field) const
{
    const QVariant v = value(row, field);
    if (v.isNull())
        return {};
    // Drivers that hand over date-times as values give them the embedded database's text.
    if (v.metaType().id() == QMetaType::QDateTime)
        return v.toDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
    return v.toString();
}

std::optional<QDateTime> DbResult::dateTime(int row, const QString &field) const
{
    const QVariant v = value(row, field);
    if (!m_dialect)
        return v.isNull() ? std::nullopt : std::optional<QDateTime>(WallClock::relabelled(v.toDateTime()));
    return m_dialect->dateTimeValue(v);
}

std::optional<qint64> DbResult::integer(int row, const QString &field) const
{
    const QVariant v = value(row, field);
    if (v.isNull())
        return std::nullopt;
    bool ok = false;
    const qint64 n = v.toLongLong(&ok);
    if (!ok)
        return std::nullopt;
    return n;
}

QVariant variantOf(const DbValue &value)
{
    return std::visit(
        [](const auto &v) -> QVariant {
            if constexpr (std::is_same_v<std::decay_t<decltype(v)>, std::monostate>)
                return {};
            else
                return QVariant::fromValue(v);
        },
        value);
}
