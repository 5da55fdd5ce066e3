#include "viewer/search/TrackResultReader.h"

#include "shared/tracking/DbResult.h"
#include "shared/tracking/SqlDialect.h"
#include "viewer/search/WallClockText.h"

TrackResultReader::TrackResultReader(std::unique_ptr<db::Cursor> cursor, std::shared_ptr<const SqlDialect> dialect)
    : m_cursor(std::move(cursor)), m_dialect(std::move(dialect))
{
    for (int i = 0; i < TrackFieldCount; ++i) {
        const QLatin1String name(trackFieldInfo(TrackField(i)).name);
        const bool computed = trackFieldSlot(TrackField(i)).kind == TrackFieldKind::Computed;
        const int column = m_columnOfField[std::size_t(i)] = computed ? -1 : m_cursor->columnIndex(name);
        if (!computed && column < 0) {
            finish();
            throw DbError(DbError::Kind::AccessLayer, QStringLiteral("TrackQuery: Field '%1' not found").arg(name));
        }
    }
}

TrackResultReader::~TrackResultReader() = default;
TrackResultReader::TrackResultReader(TrackResultReader &&) noexcept = default;

void TrackResultReader::finish()
{
    if (m_cursor)
        m_cursor->cancel();
    m_cursor.reset();
}

TrackRowStore::WallTime TrackResultReader::timeAt(int column, QByteArrayView utf8) const
{
    if (const auto fast = canonicalWallMsecs(utf8))
        return *fast;
    return wallMsecsOf(variantOf(m_cursor->value(column)), *m_dialect);
}

bool TrackResultReader::next(TrackRowStore::RowBuilder &row)
{
    if (!m_cursor)
        return false;
    try {
        if (!m_cursor->next()) {
            finish();
            return false;
        }
    } catch (const DbError &error) {
        m_error = error.message();
        finish();
        return false;
    }
    row.reset();
    for (int i = 0; i < TrackFieldCount; ++i) {
        const TrackFieldSlot slot = trackFieldSlot(TrackField(i));
        const int column = m_columnOfField[std::size_t(i)];
        if (slot.kind == TrackFieldKind::Int && !m_cursor->isNull(column))
            row.setReadStatus(int(m_cursor->integer(column)));
        if (slot.kind != TrackFieldKind::Text && slot.kind != TrackFieldKind::Time)
            continue;
        const QByteArrayView utf8 = m_cursor->utf8(column);
        if (utf8.isEmpty() && m_cursor->isNull(column)) // a value costs no look for NULL before it
            continue;
        if (slot.kind == TrackFieldKind::Text)
            row.setText(slot.slot, utf8);
        else
            row.setTime(slot.slot, timeAt(column, utf8));
    }
    return true;
}
