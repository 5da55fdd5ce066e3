#include "viewer/search/PostgresTrackRow.h"

#include "shared/PostgresRow.h"
#include "viewer/search/WallClockText.h"

#include <charconv>

namespace {

TrackRowStore::WallTime wallTimeOf(QByteArrayView text, const SqlDialect &dialect)
{
    if (const auto fast = canonicalWallMsecs(text))
        return *fast;
    // Fractions the server trims to one or two digits, or six from a column of a wider type.
    if (const std::optional<QDateTime> value = PostgresRow::wallClock(text))
        return wallMsecsOf(QVariant(*value), dialect);
    return std::nullopt; // "infinity", a year BC or past 9999: no date the grid can show
}

// As the other readers take a number: what does not read as one is 0.
qint32 integerOf(QByteArrayView text)
{
    qint32 value = 0;
    const char *end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    return error == std::errc() && stop == end ? value : 0;
}

} // namespace

void readPostgresTrackRow(const PostgresRow &source, const std::array<int, TrackFieldCount> &columnOfField,
                          const SqlDialect &dialect, TrackRowStore::RowBuilder &row)
{
    row.reset();
    for (int i = 0; i < TrackFieldCount; ++i) {
        const TrackFieldSlot slot = trackFieldSlot(TrackField(i));
        const int column = columnOfField[std::size_t(i)];
        if (slot.kind == TrackFieldKind::Computed || source.isNull(column))
            continue;
        const QByteArrayView text = source.text(column);
        switch (slot.kind) {
        case TrackFieldKind::Text:
            row.setText(slot.slot, text);
            break;
        case TrackFieldKind::Time:
            row.setTime(slot.slot, wallTimeOf(text, dialect));
            break;
        case TrackFieldKind::Int:
            row.setReadStatus(integerOf(text));
            break;
        case TrackFieldKind::Computed:
            break;
        }
    }
}
