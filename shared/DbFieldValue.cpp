#include "shared/DbFieldValue.h"

#include "shared/PostgresRow.h"

#include <QSqlQuery>

QVariant fieldValue(const QSqlQuery &query, int column)
{
    if (const std::optional<PostgresRow> row = PostgresRow::of(query); row && row->isTimestamp(column)) {
        if (row->isNull(column))
            return QVariant(QMetaType::fromType<QDateTime>());
        if (const std::optional<QDateTime> value = PostgresRow::wallClock(row->text(column)))
            return *value;
    }
    return query.value(column);
}
