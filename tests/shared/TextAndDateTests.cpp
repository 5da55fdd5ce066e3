#include "shared/text/OleDate.h"
#include "shared/text/TextCodec.h"
#include "shared/text/WallClock.h"

#include <gtest/gtest.h>

namespace {

TEST(OleDateTest, DayNumbersFromTheEpoch)
{
    EXPECT_EQ(OleDate::toDateTime(2014), WallClock::of(QDate(1905, 7, 6), QTime(0, 0)));
    EXPECT_EQ(OleDate::toDateTime(0), WallClock::of(QDate(1899, 12, 30), QTime(0, 0)));
    EXPECT_DOUBLE_EQ(OleDate::fromDateTime(WallClock::of(QDate(1900, 1, 1), QTime(18, 0))), 2.75);
    EXPECT_EQ(OleDate::toDateTime(-1.25), WallClock::of(QDate(1899, 12, 29), QTime(6, 0)));
    EXPECT_DOUBLE_EQ(OleDate::fromDateTime(WallClock::of(QDate(1899, 12, 29), QTime(6, 0))), -1.25);
}

TEST(OleDateTest, EightByteFormKeepsMilliseconds)
{
    const QDateTime value = WallClock::of(QDate(2024, 6, 7), QTime(14, 5, 9, 7));
    const QByteArray bytes = OleDate::toBytes(value);
    ASSERT_EQ(bytes.size(), 8);
    EXPECT_EQ(OleDate::fromBytes(bytes), value);
    // 2.5 days: 1900-01-01 12:00, little-endian IEEE double 0x4004000000000000.
    EXPECT_EQ(OleDate::toBytes(WallClock::of(QDate(1900, 1, 1), QTime(12, 0))).toHex(), "0000000000000440");
    EXPECT_FALSE(OleDate::fromBytes("1234567").has_value());
    EXPECT_FALSE(OleDate::fromBytes(QByteArray::fromHex("000000000000f07f")).has_value()); // infinity
}

TEST(TextCodecTest, Utf8WhenValidElseWindows1252)
{
    const DecodedText utf8 = decodeServerText("M\xC3\xBCller");
    EXPECT_EQ(utf8.text, QString::fromUtf8("Müller"));
    EXPECT_EQ(utf8.encoding, TextEncoding::Utf8);

    const DecodedText cp = decodeServerText("M\xFCller \x80 \x93quoted\x94");
    EXPECT_EQ(cp.text, QString::fromUtf8("Müller € “quoted”"));
    EXPECT_EQ(cp.encoding, TextEncoding::Windows1252);
}

TEST(TextCodecTest, EveryByteSurvivesTheRoundTrip)
{
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all.append(static_cast<char>(b));
    const DecodedText decoded = decodeServerText(all);
    EXPECT_EQ(decoded.encoding, TextEncoding::Windows1252);
    EXPECT_EQ(encodeServerText(decoded.text, decoded.encoding), all);
}

TEST(TextCodecTest, LineBreaksOfEveryKind)
{
    EXPECT_EQ(splitTextLines("a\r\nb\rc\nd"), (QStringList{"a", "b", "c", "d"}));
    EXPECT_EQ(splitTextLines("a\r\n"), (QStringList{"a"}));
    EXPECT_EQ(splitTextLines("a\r\n\r\nb"), (QStringList{"a", "", "b"}));
    EXPECT_EQ(splitTextLines(""), QStringList());
    EXPECT_EQ(splitTextLines("\r\r"), (QStringList{"", ""}));
}

} // namespace
