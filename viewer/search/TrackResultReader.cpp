#include "viewer/search/TrackResultReader.h"

#include "shared/DbError.h"
#include "shared/DbFieldValue.h"
#include "shared/PostgresNativeQuery.h"
#include "shared/SqlDialect.h"
#include "viewer/search/PostgresTrackRow.h"
#include "viewer/search/SqliteTrackRows.h"
#include "viewer/search/WallClockText.h"

#include <QSqlError>
#include <QSqlRecord>

TrackResultReader::TrackResultReader(QSqlQuery query, std::shared_ptr<const SqlDialect> dialect)
    : m_query(std::move(query)), m_dialect(std::move(dialect))
{
    const QSqlRecord record = m_query.record();
    mapFields([&](QLatin1String name) { return record.indexOf(name); });
    m_sqlite = SqliteTrackRows::attach(m_query, m_columnOfField);
}

TrackResultReader::TrackResultReader(std::unique_ptr<PostgresNativeQuery> rows,
                                     std::shared_ptr<const SqlDialect> dialect)
    : m_dialect(std::move(dialect)), m_postgres(std::move(rows))
{
    mapFields([&](QLatin1String name) { return m_postgres->fieldIndex(QByteArrayView(name.data(), name.size())); });
}

void TrackResultReader::mapFields(const std::function<int(QLatin1String)> &columnOf)
{
    for (int i = 0; i < TrackFieldCount; ++i) {
        const auto field = TrackField(i);
        int column = -1;
        if (trackFieldSlot(field).kind != TrackFieldKind::Computed) {
            const QLatin1String name(trackFieldInfo(field).name);
            column = columnOf(name);
            if (column < 0) {
                finish();
                throw DbError(DbError::Kind::AccessLayer,
                              QStringLiteral("TrackQuery: Field '%1' not found").arg(name));
            }
        }
        m_columnOfField[std::size_t(i)] = column;
    }
}

TrackResultReader::~TrackResultReader() = default;
TrackResultReader::TrackResultReader(TrackResultReader &&) noexcept = default;

void TrackResultReader::finish()
{
    m_open = false;
    if (m_postgres)
        m_postgres->finish();
    m_query.finish();
}

bool TrackResultReader::next(TrackRowStore::RowBuilder &row)
{
    if (!m_open)
        return false;
    if (m_postgres) {
        QSqlError error;
        if (!m_postgres->next(error)) {
            if (error.isValid())
                m_error = sqlErrorText(error);
            finish();
            return false;
        }
        readPostgresTrackRow(m_postgres->row(), m_columnOfField, *m_dialect, row);
        ++m_rowsRead;
        return true;
    }
    if (m_sqlite && m_rowsRead > 0) {
        if (m_sqlite->next(row, *m_dialect, m_error)) {
            ++m_rowsRead;
            return true;
        }
        finish();
        return false;
    }
    if (!m_query.next()) {
        if (m_query.lastError().isValid())
            m_error = sqlErrorText(m_query.lastError());
        finish();
        return false;
    }
    row.reset();
    for (int i = 0; i < TrackFieldCount; ++i) {
        const TrackFieldSlot slot = trackFieldSlot(TrackField(i));
        const int column = m_columnOfField[std::size_t(i)];
        switch (slot.kind) {
        case TrackFieldKind::Text: {
            const QVariant value = m_query.value(column);
            if (!value.isNull()) {
                QByteArray &text = m_texts[std::size_t(slot.slot)];
                text = value.toString().toUtf8();
                row.setText(slot.slot, text);
            }
            break;
        }
        case TrackFieldKind::Time:
            row.setTime(slot.slot, wallMsecsOf(fieldValue(m_query, column), *m_dialect));
            break;
        case TrackFieldKind::Int: {
            const QVariant value = m_query.value(column);
            if (!value.isNull())
                row.setReadStatus(value.toInt());
            break;
        }
        case TrackFieldKind::Computed:
            break;
        }
    }
    ++m_rowsRead;
    return true;
}
