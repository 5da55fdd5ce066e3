#include "viewer/search/TrackRowStore.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr std::size_t BlockSize = 4 << 20;
// Beyond this many distinct values a shared slot stops sharing: the table would cost more than it saves.
constexpr std::size_t SharedLimit = 1 << 16;
constexpr qint64 MsecsPerDay = TrackRowStore::MsecsPerDay;
constexpr qint64 Day1900 = 2415021; // Julian day of 1900-01-01, near every stored date

// Shared text tags: NULL, the text follows, or a shared value's number plus this.
constexpr quint64 SharedNull = 0;
constexpr quint64 SharedInline = 1;
constexpr quint64 SharedFirstId = 2;

void putNumber(std::string &out, quint64 value)
{
    while (value >= 0x80) {
        out.push_back(char(value | 0x80));
        value >>= 7;
    }
    out.push_back(char(value));
}

quint64 zigzag(qint64 value)
{
    return (quint64(value) << 1) ^ quint64(value >> 63);
}

qint64 unzigzag(quint64 value)
{
    return qint64(value >> 1) ^ -qint64(value & 1);
}

class RecordReader
{
public:
    explicit RecordReader(const char *at) : m_at(at) {}

    quint64 number()
    {
        quint64 value = 0;
        for (int shift = 0;; shift += 7) {
            const auto byte = quint8(*m_at++);
            value |= quint64(byte & 0x7f) << shift;
            if (!(byte & 0x80))
                return value;
        }
    }
    QByteArrayView bytes(std::size_t count)
    {
        const QByteArrayView view(m_at, qsizetype(count));
        m_at += count;
        return view;
    }

private:
    const char *m_at;
};

void putText(std::string &out, const std::optional<QByteArrayView> &text)
{
    if (!text) {
        putNumber(out, 0);
        return;
    }
    putNumber(out, quint64(text->size()) + 1);
    out.append(text->data(), std::size_t(text->size()));
}

std::optional<QByteArrayView> takeText(RecordReader &reader)
{
    const quint64 tag = reader.number();
    if (tag == 0)
        return std::nullopt;
    return reader.bytes(std::size_t(tag - 1));
}

// Whole seconds, the usual case, take a byte less than milliseconds.
void putTime(std::string &out, const TrackRowStore::WallTime &wall)
{
    if (!wall) {
        putNumber(out, 0);
        return;
    }
    const qint64 day = TrackRowStore::dayOf(*wall);
    const qint64 msecs = *wall - day * MsecsPerDay;
    putNumber(out, zigzag(day - Day1900) + 1);
    putNumber(out, msecs % 1000 == 0 ? quint64(msecs / 1000) << 1 : quint64(msecs) << 1 | 1);
}

TrackRowStore::WallTime takeTime(RecordReader &reader)
{
    const quint64 day = reader.number();
    if (day == 0)
        return std::nullopt;
    const quint64 time = reader.number();
    const qint64 msecs = time & 1 ? qint64(time >> 1) : qint64(time >> 1) * 1000;
    return (unzigzag(day - 1) + Day1900) * MsecsPerDay + msecs;
}

} // namespace

TrackRowStore::TrackRowStore(std::uint32_t sharedTexts) : m_sharedTexts(sharedTexts) {}

TrackRowStore::~TrackRowStore() = default;

void TrackRowStore::clear()
{
    m_blocks.clear();
    m_offsets.clear();
    m_offsets.shrink_to_fit();
    m_sharedValues.clear();
    m_sharedValues.shrink_to_fit();
    m_sharedIds = {};
    m_lastShared.fill(std::nullopt);
}

void TrackRowStore::putShared(int slot, QByteArrayView text)
{
    std::optional<quint32> &last = m_lastShared[std::size_t(slot)];
    if (last && m_sharedValues[*last] == text) {
        putNumber(m_record, SharedFirstId + *last);
        return;
    }
    const std::string_view key(text.data(), std::size_t(text.size()));
    if (const auto found = m_sharedIds.find(key); found != m_sharedIds.end()) {
        last = found->second;
        putNumber(m_record, SharedFirstId + found->second);
        return;
    }
    if (m_sharedValues.size() < SharedLimit) {
        const auto id = quint32(m_sharedValues.size());
        const char *kept = at(store(key)); // in the blocks: no allocation of its own, and never moves
        m_sharedIds.emplace(std::string_view(kept, key.size()), id);
        m_sharedValues.emplace_back(kept, text.size());
        last = id;
        putNumber(m_record, SharedFirstId + id);
        return;
    }
    putNumber(m_record, SharedInline);
    putText(m_record, text);
}

void TrackRowStore::append(const RowBuilder &builder)
{
    const Row &row = builder.row();
    m_record.clear();
    for (int slot = 0; slot < TextSlots; ++slot) {
        const std::optional<QByteArrayView> &text = row.texts[std::size_t(slot)];
        if (!(m_sharedTexts & (1u << slot)))
            putText(m_record, text);
        else if (!text)
            putNumber(m_record, SharedNull);
        else
            putShared(slot, *text);
    }
    for (const WallTime &time : row.times)
        putTime(m_record, time);
    putNumber(m_record, row.readStatus ? zigzag(*row.readStatus) + 1 : 0);
    m_offsets.push_back(store(m_record));
}

const char *TrackRowStore::at(quint64 offset) const
{
    return m_blocks[std::size_t(offset >> 32)].bytes.get() + (offset & 0xffffffffu);
}

quint64 TrackRowStore::store(std::string_view record)
{
    const auto size = std::size_t(record.size());
    if (m_blocks.empty() || m_blocks.back().capacity - m_blocks.back().used < size) {
        const std::size_t capacity = std::max(BlockSize, size);
        // Left unfilled: zeroing four megabytes would cost a small search more than its rows do.
        m_blocks.push_back({std::make_unique_for_overwrite<char[]>(capacity), capacity, 0});
    }
    Block &block = m_blocks.back();
    std::memcpy(block.bytes.get() + block.used, record.data(), size);
    const quint64 offset = quint64(m_blocks.size() - 1) << 32 | block.used;
    block.used += size;
    return offset;
}

TrackRowStore::Row TrackRowStore::row(int index) const
{
    const quint64 offset = m_offsets.at(std::size_t(index));
    RecordReader reader(at(offset));
    Row row;
    for (int slot = 0; slot < TextSlots; ++slot) {
        auto &text = row.texts[std::size_t(slot)];
        if (!(m_sharedTexts & (1u << slot))) {
            text = takeText(reader);
            continue;
        }
        const quint64 tag = reader.number();
        if (tag == SharedInline)
            text = takeText(reader);
        else if (tag >= SharedFirstId)
            text = m_sharedValues[std::size_t(tag - SharedFirstId)];
    }
    for (WallTime &time : row.times)
        time = takeTime(reader);
    if (const quint64 status = reader.number())
        row.readStatus = qint32(unzigzag(status - 1));
    return row;
}
