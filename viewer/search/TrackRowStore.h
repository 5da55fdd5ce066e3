#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// The rows of a search result kept compactly: each row is one record in a few large blocks (texts
// as UTF-8 with their lengths, date-times as day and time-of-day numbers), and texts that repeat
// across rows (practice, sender, file type, test names) are kept once and referred to by number.
// Blocks never move, so views into a decoded row stay valid while the store lives.
class TrackRowStore
{
public:
    static constexpr int TextSlots = 16;
    static constexpr int TimeSlots = 5;
    // A date-time as milliseconds since the start of Julian day 0, wall clock; nullopt for NULL.
    using WallTime = std::optional<qint64>;
    static constexpr qint64 MsecsPerDay = 86400000;
    // The Julian day a wall time falls on.
    static constexpr qint64 dayOf(qint64 wall)
    {
        return wall >= 0 ? wall / MsecsPerDay : (wall - MsecsPerDay + 1) / MsecsPerDay;
    }

    // Bit n of `sharedTexts` set: text slot n repeats across rows and is kept once.
    explicit TrackRowStore(std::uint32_t sharedTexts);
    ~TrackRowStore();
    TrackRowStore(const TrackRowStore &) = delete;
    TrackRowStore &operator=(const TrackRowStore &) = delete;

    // A row's values; the texts are views into the store or into the builder's source.
    struct Row
    {
        std::array<std::optional<QByteArrayView>, TextSlots> texts{};
        std::array<WallTime, TimeSlots> times{};
        std::optional<qint32> readStatus;
    };

    // One row, filled slot by slot before append(); slots left untouched are NULL.
    class RowBuilder
    {
    public:
        void setText(int slot, QByteArrayView utf8) { m_row.texts[std::size_t(slot)] = utf8; }
        void setTime(int slot, WallTime wall) { m_row.times[std::size_t(slot)] = wall; }
        void setReadStatus(std::optional<qint32> value) { m_row.readStatus = value; }
        void reset() { m_row = {}; }
        const Row &row() const { return m_row; }

    private:
        Row m_row;
    };

    void append(const RowBuilder &row);
    Row row(int index) const;
    int size() const { return int(m_offsets.size()); }
    void clear();

private:
    struct Block
    {
        std::unique_ptr<char[]> bytes;
        std::size_t capacity = 0;
        std::size_t used = 0;
    };

    void putShared(int slot, QByteArrayView text);
    quint64 store(std::string_view record);
    const char *at(quint64 offset) const;

    std::uint32_t m_sharedTexts;
    std::vector<Block> m_blocks;
    std::vector<quint64> m_offsets; // block index in the high half, position in the low half
    std::vector<QByteArrayView> m_sharedValues; // into the blocks
    std::unordered_map<std::string_view, quint32> m_sharedIds;    // keys view m_sharedValues
    std::array<std::optional<quint32>, TextSlots> m_lastShared{}; // rows often repeat the row before
    std::string m_record;                                         // scratch for the record being appended
};
