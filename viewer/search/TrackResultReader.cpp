#include "viewer/search/TrackResultReader.h"

#include "shared/DbError.h"
#include "shared/SqlDialect.h"

#include <QSqlError>
#include <QSqlRecord>

namespace {

qint64 wallMsecs(QDate date, QTime time)
{
    return date.toJulianDay() * TrackRowStore::MsecsPerDay + time.msecsSinceStartOfDay();
}

int digits(QStringView text, qsizetype from, qsizetype count, bool &ok)
{
    int value = 0;
    for (qsizetype i = from; i < from + count; ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9') {
            ok = false;
            return 0;
        }
        value = value * 10 + (c - u'0');
    }
    return value;
}

// "yyyy-MM-dd", optionally with " HH:mm:ss" and ".zzz": the form SQLite keeps date-times in.
std::optional<qint64> canonicalWallMsecs(QStringView text)
{
    const qsizetype size = text.size();
    if (size != 10 && size != 19 && size != 23)
        return std::nullopt;
    if (text[4] != u'-' || text[7] != u'-')
        return std::nullopt;
    bool ok = true;
    const QDate date(digits(text, 0, 4, ok), digits(text, 5, 2, ok), digits(text, 8, 2, ok));
    QTime time(0, 0);
    if (size >= 19) {
        if (text[10] != u' ' || text[13] != u':' || text[16] != u':')
            return std::nullopt;
        if (size == 23 && text[19] != u'.')
            return std::nullopt;
        const int msec = size == 23 ? digits(text, 20, 3, ok) : 0;
        time = QTime(digits(text, 11, 2, ok), digits(text, 14, 2, ok), digits(text, 17, 2, ok), msec);
    }
    if (!ok || !date.isValid() || !time.isValid())
        return std::nullopt;
    return wallMsecs(date, time);
}

TrackRowStore::WallTime timeValue(const QVariant &value, const SqlDialect &dialect)
{
    if (value.isNull() || !value.isValid())
        return std::nullopt;
    if (value.metaType().id() == QMetaType::QString) {
        if (const auto fast = canonicalWallMsecs(value.toString()))
            return *fast;
    }
    const std::optional<QDateTime> parsed = dialect.dateTimeValue(value);
    if (!parsed || !parsed->isValid())
        return std::nullopt;
    return wallMsecs(parsed->date(), parsed->time());
}

} // namespace

TrackResultReader::TrackResultReader(QSqlQuery query, std::shared_ptr<const SqlDialect> dialect)
    : m_query(std::move(query)), m_dialect(std::move(dialect))
{
    const QSqlRecord record = m_query.record();
    for (int i = 0; i < TrackFieldCount; ++i) {
        const auto field = TrackField(i);
        int column = -1;
        if (trackFieldSlot(field).kind != TrackFieldKind::Computed) {
            const QLatin1String name(trackFieldInfo(field).name);
            column = record.indexOf(name);
            if (column < 0) {
                finish();
                throw DbError(DbError::Kind::AccessLayer,
                              QStringLiteral("TrackQuery: Field '%1' not found").arg(name));
            }
        }
        m_columnOfField[std::size_t(i)] = column;
    }
}

void TrackResultReader::finish()
{
    m_open = false;
    m_query.finish();
}

bool TrackResultReader::next(TrackRowStore::RowBuilder &row)
{
    if (!m_open)
        return false;
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
            row.setTime(slot.slot, timeValue(m_query.value(column), *m_dialect));
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
    return true;
}
