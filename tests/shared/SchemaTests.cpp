#include "shared/tracking/TrackingSchema.h"
#include "shared/text/WallClock.h"

#include <gtest/gtest.h>

namespace {

QDateTime at(int y, int m, int d, int hh = 0, int mm = 0, int ss = 0)
{
    return WallClock::of(QDate(y, m, d), QTime(hh, mm, ss));
}

struct StateCase
{
    std::optional<QDateTime> delivery;
    DeliveryState expected;
};

TEST(DeliveryStateTest, SentinelsCountOnlyAtMidnight)
{
    const StateCase cases[] = {
        {std::nullopt, DeliveryState::Waiting},
        {at(1900, 1, 1), DeliveryState::Undeliverable},
        {at(1900, 1, 27), DeliveryState::Managed},
        {at(2001, 1, 1), DeliveryState::Emailed},
        {at(1905, 6, 7), DeliveryState::DecryptFailed},
        {at(1905, 7, 6), DeliveryState::DecryptFailed},
        {at(1900, 1, 1, 0, 0, 1), DeliveryState::Delivered},
        {at(2001, 1, 1, 9, 30), DeliveryState::Delivered},
        {at(2024, 6, 7, 14, 5), DeliveryState::Delivered},
    };
    for (const StateCase &c : cases)
        EXPECT_EQ(deliveryStateOf(c.delivery), c.expected) << (c.delivery ? c.delivery->toString().toStdString() : "null");
}

TEST(ReadStatusTest, WordsAndFilterNames)
{
    EXPECT_EQ(readStatusWord(-1), "Queued");
    EXPECT_EQ(readStatusWord(1), "Received");
    EXPECT_EQ(readStatusWord(2), "Imported");
    EXPECT_EQ(readStatusWord(3), "HL7 Ack");
    EXPECT_EQ(readStatusWord(4), "Folder Moved");
    EXPECT_EQ(readStatusWord(5), "Forwarded");
    EXPECT_EQ(readStatusWord(6), "HL7 REJECT");
    EXPECT_EQ(readStatusWord(99), "Retransmitted");
    EXPECT_EQ(readStatusWord(7), "");
    EXPECT_EQ(readStatusWord(0), "");
    EXPECT_EQ(readStatusWord(QVariant()), "");

    QStringList filters;
    for (const ReadStatusCode &code : readStatusCodes()) {
        if (code.filterName)
            filters << QString::fromLatin1(code.filterName);
    }
    EXPECT_EQ(filters, (QStringList{"Processed", "HL7 ACK", "HL7 Reject", "Auto Resent"}));
}

TEST(StatusOrderTest, UndeliverableBeforeWaitingAndEqualTimesApart)
{
    const QDateTime received = at(2024, 3, 1, 8, 0);
    EXPECT_EQ(statusOrderOf(at(1900, 1, 1), received), 0);
    EXPECT_EQ(statusOrderOf(std::nullopt, received), 1);
    EXPECT_EQ(statusOrderOf(received, received), 2);
    EXPECT_EQ(statusOrderOf(at(2024, 3, 1, 9, 0), received), 3);
    EXPECT_EQ(statusOrderOf(at(1900, 1, 27), received), 3);
}

TEST(TrackingColumnsTest, TwentyTwoColumnsInTableOrder)
{
    const auto columns = TrackingSchema::trackingColumns();
    ASSERT_EQ(columns.size(), 22u);
    EXPECT_STREQ(columns.front().name, "MsgID");
    EXPECT_EQ(columns.front().width, 100);
    EXPECT_STREQ(columns[19].name, "RunNumber");
    EXPECT_STREQ(columns[20].name, "ReadStatus");
    EXPECT_STREQ(columns.back().name, "StatusTime");
    for (const auto &column : columns) {
        if (QLatin1String(column.name) == QLatin1String("FileType"))
            EXPECT_EQ(TrackingSchema::upgradedWidth(column), 50);
        else
            EXPECT_EQ(TrackingSchema::upgradedWidth(column), column.width) << column.name;
    }
}

} // namespace
