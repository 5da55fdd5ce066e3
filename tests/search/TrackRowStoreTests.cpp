#include "viewer/search/TrackRowStore.h"

#include <QDate>

#include <gtest/gtest.h>

#include <optional>

namespace {

constexpr std::uint32_t SharedSlots = 0b101; // slots 0 and 2 repeat across rows
constexpr qint64 MsecsPerDay = 86400000;

std::optional<QByteArray> text(const TrackRowStore::Row &row, int slot)
{
    const auto &view = row.texts[std::size_t(slot)];
    return view ? std::optional<QByteArray>(view->toByteArray()) : std::nullopt;
}

TEST(TrackRowStore, KeepsTextsNullsEmptyTextsTimesAndReadStatusAsGiven)
{
    TrackRowStore store(SharedSlots);
    TrackRowStore::RowBuilder builder;
    const QByteArray long_(70000, 'x'); // longer than a length byte, and shared
    builder.setText(0, "P1001");
    builder.setText(1, "");
    builder.setText(2, long_);
    builder.setText(15, "R7 é");
    const qint64 withMsecs = QDate(2024, 3, 1).toJulianDay() * MsecsPerDay + 9 * 3600000 + 7;
    const qint64 sentinel = QDate(1900, 1, 1).toJulianDay() * MsecsPerDay;
    const qint64 longAgo = QDate(1066, 10, 14).toJulianDay() * MsecsPerDay + 1000;
    builder.setTime(0, withMsecs);
    builder.setTime(1, sentinel);
    builder.setTime(4, longAgo);
    builder.setReadStatus(-3);
    store.append(builder);
    builder.reset();
    builder.setReadStatus(0);
    store.append(builder);

    ASSERT_EQ(store.size(), 2);
    const TrackRowStore::Row first = store.row(0);
    EXPECT_EQ(text(first, 0), QByteArray("P1001"));
    EXPECT_EQ(text(first, 1), QByteArray(""));
    EXPECT_EQ(text(first, 2), long_);
    EXPECT_EQ(text(first, 3), std::nullopt);
    EXPECT_EQ(text(first, 15), QByteArray("R7 é"));
    EXPECT_EQ(first.times[0], withMsecs);
    EXPECT_EQ(first.times[1], sentinel);
    EXPECT_EQ(first.times[2], std::nullopt);
    EXPECT_EQ(first.times[4], longAgo);
    EXPECT_EQ(first.readStatus, -3);

    const TrackRowStore::Row second = store.row(1);
    for (int slot = 0; slot < TrackRowStore::TextSlots; ++slot)
        EXPECT_EQ(text(second, slot), std::nullopt) << slot;
    EXPECT_EQ(second.times[0], std::nullopt);
    EXPECT_EQ(second.readStatus, 0);
}

TEST(TrackRowStore, RepeatedValuesShareOneCopyAndUniqueOnesStillReadBack)
{
    TrackRowStore store(SharedSlots);
    TrackRowStore::RowBuilder builder;
    constexpr int Rows = 70000; // more distinct values than are shared
    for (int i = 0; i < Rows; ++i) {
        const QByteArray unique = "U" + QByteArray::number(i);
        builder.setText(0, i % 2 ? QByteArrayView("odd") : QByteArrayView("even"));
        builder.setText(2, unique);
        store.append(builder);
    }
    ASSERT_EQ(store.size(), Rows);
    EXPECT_EQ(store.row(0).texts[0]->data(), store.row(2).texts[0]->data()); // one copy
    for (int i : {0, 1, 65535, 65536, Rows - 1}) {
        const TrackRowStore::Row row = store.row(i);
        EXPECT_EQ(text(row, 0), QByteArray(i % 2 ? "odd" : "even")) << i;
        EXPECT_EQ(text(row, 2), "U" + QByteArray::number(i)) << i;
    }
    store.clear();
    EXPECT_EQ(store.size(), 0);
}

} // namespace
