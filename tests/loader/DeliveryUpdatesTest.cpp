#include "shared/text/WallClock.h"
#include "tests/loader/LoaderFixture.h"

namespace {

class DeliveryUpdatesTest : public LoaderTrackingFixture
{
protected:
    void SetUp() override
    {
        LoaderTrackingFixture::SetUp();
        if (IsSkipped())
            return;
        // An insertion counter like SQLite's own rowid, so that rows of one message keep their order.
        if (backend() == Backend::PostgreSql)
            sql(QStringLiteral("ALTER TABLE Tracking ADD COLUMN rowid serial"));
    }

    void addRow(const QString &msgId, const QString &sender, const QString &fileName, const QString &delivery,
                const QString &readStatus = QStringLiteral("NULL"))
    {
        const auto literal = [](const QString &v) {
            return v.isNull() ? QStringLiteral("NULL") : u'\'' + v + u'\'';
        };
        sql(QStringLiteral(
                "INSERT INTO Tracking (MsgID, Sender, Filename, QZServerReceiveTime, QZDeliveryTime, "
                "PracID, ReadStatus) VALUES (%1, %2, %3, '2024-03-05 10:00:00.000', %4, 'OLD', %5)")
                .arg(literal(msgId), literal(sender), literal(fileName), literal(delivery), readStatus));
    }

    QStringList column(const QString &name, const QString &msgId)
    {
        const DbResult r = query(
            QStringLiteral("select %1 from Tracking where MsgID = '%2' order by rowid").arg(name, msgId));
        QStringList values;
        for (int i = 0; i < r.rowCount(); ++i)
            values << (r.isNull(i, name) ? QStringLiteral("NULL") : r.text(i, name));
        return values;
    }

    const QDateTime delivered = WallClock::of(QDate(2024, 3, 6), QTime(9, 30));
    const QString deliveredText = QStringLiteral("2024-03-06 09:30:00.000");
};

TEST_P(DeliveryUpdatesTest, ReceiptOnADeliveredRowWithARealSenderCountsTheRow)
{
    addRow(QStringLiteral("M1"), QStringLiteral("lab@x"), QStringLiteral("F"),
           QStringLiteral("2024-03-05 11:00:00.000"));
    EXPECT_EQ(loader().UpdateDeliveryTime(QStringLiteral("M1"), QStringLiteral("P1"), delivered,
                                          QStringLiteral("new")),
              1);
    EXPECT_EQ(column(QStringLiteral("QZDeliveryTime"), QStringLiteral("M1")),
              QStringList{QStringLiteral("2024-03-05 11:00:00.000")});
    const QString log = logText();
    EXPECT_TRUE(log.contains(
        QStringLiteral("(8): UpdateDeliveryTime(MsgId: M1; Sender new, PracId: P1; QZDeliveryTime: "
                       "2024-03-06 09:30:00.000) = 0 (rows updated).")));
    EXPECT_TRUE(log.contains(QStringLiteral("(8): Rows to Update for MsgID M1: 1)")));
    EXPECT_TRUE(
        log.contains(QStringLiteral("(8): Row Data ((MsgId: M1; Sender: lab@x; PracId: OLD; QZDeliveryTime: "
                                    "2024-03-05 11:00:00.000; Filename F; StatusTime: , ReadStatus 0)")));
}

TEST_P(DeliveryUpdatesTest, ReceiptForAnUnknownMessageGivesZero)
{
    EXPECT_EQ(loader().UpdateDeliveryTime(QStringLiteral("none"), QStringLiteral("P1"), delivered,
                                          QStringLiteral("s")),
              0);
}

TEST_P(DeliveryUpdatesTest, ReceiptOverwritesAnUnknownSenderEvenWhenDelivered)
{
    addRow(QStringLiteral("M2"), QStringLiteral("Unknown Sender"), QStringLiteral("F"),
           QStringLiteral("2024-03-05 11:00:00.000"));
    EXPECT_EQ(loader().UpdateDeliveryTime(QStringLiteral("M2"), QStringLiteral("P1"), delivered,
                                          QStringLiteral("lab@x")),
              1);
    EXPECT_EQ(column(QStringLiteral("QZDeliveryTime"), QStringLiteral("M2")), QStringList{deliveredText});
    EXPECT_EQ(column(QStringLiteral("Sender"), QStringLiteral("M2")), QStringList{QStringLiteral("lab@x")});
    EXPECT_EQ(column(QStringLiteral("PracID"), QStringLiteral("M2")), QStringList{QStringLiteral("P1")});
}

TEST_P(DeliveryUpdatesTest, ReceiptOnSeveralRowsUpdatesOnlyThoseWaiting)
{
    addRow(QStringLiteral("M3"), QStringLiteral("lab@x"), QStringLiteral("F"),
           QStringLiteral("2024-03-05 11:00:00.000"));
    addRow(QStringLiteral("M3"), QStringLiteral("lab@x"), QStringLiteral("G"), QString());
    EXPECT_EQ(loader().UpdateDeliveryTime(QStringLiteral("M3"), QStringLiteral("P1"), delivered,
                                          QStringLiteral("lab@x")),
              1);
    EXPECT_EQ(column(QStringLiteral("QZDeliveryTime"), QStringLiteral("M3")),
              (QStringList{QStringLiteral("2024-03-05 11:00:00.000"), deliveredText}));
}

TEST_P(DeliveryUpdatesTest, ReceiptWithTheMarkerFailsAfterLogging)
{
    addRow(QStringLiteral("M4"), QString(), QStringLiteral("F"), QString());
    EXPECT_ANY_THROW(loader().UpdateDeliveryTime(QStringLiteral("M4"), QStringLiteral("P1"),
                                                 DateField::unreadable(), QStringLiteral("s")));
    const QString log = logText();
    EXPECT_TRUE(log.contains(QStringLiteral("(2): Exception occurred in UpdateDeliveryTime with Msg: ")));
    EXPECT_TRUE(
        log.contains(QStringLiteral("(8): Exception occurred for UpdateDeliveryTime(MsgId: M4; PracId: P1; "
                                    "QZDeliveryTime: -999999)")));
}

TEST_P(DeliveryUpdatesTest, WithoutBitEightTheCountIsStillMadeButNotDescribed)
{
    loader().LoggingLevel = 7;
    addRow(QStringLiteral("M5"), QStringLiteral("lab@x"), QStringLiteral("F"),
           QStringLiteral("2024-03-05 11:00:00.000"));
    addRow(QStringLiteral("M5"), QStringLiteral("lab@x"), QStringLiteral("F"),
           QStringLiteral("2024-03-05 11:00:00.000"));
    EXPECT_EQ(loader().UpdateDeliveryTime(QStringLiteral("M5"), QStringLiteral("P1"), delivered,
                                          QStringLiteral("lab@x")),
              2);
    EXPECT_FALSE(logText().contains(QStringLiteral("(8): ")));
}

TEST_P(DeliveryUpdatesTest, NotificationUpdatesRowsOfThatFileOrNoFile)
{
    addRow(QStringLiteral("M6"), QStringLiteral("lab@x"), QStringLiteral("F"), QString());
    addRow(QStringLiteral("M6"), QStringLiteral("lab@x"), QString(), QString());
    addRow(QStringLiteral("M6"), QStringLiteral("lab@x"), QStringLiteral("OTHER"), QString(),
           QStringLiteral("1"));
    const QDateTime statusTime = WallClock::of(QDate(2024, 3, 7), QTime(8, 0));
    EXPECT_EQ(loader().updateReadStatus(QStringLiteral("M6"), QStringLiteral("lab@x"), QStringLiteral("P1"),
                                        QStringLiteral("F"), 3, delivered, statusTime),
              2);
    EXPECT_EQ(column(QStringLiteral("ReadStatus"), QStringLiteral("M6")),
              (QStringList{QStringLiteral("3"), QStringLiteral("3"), QStringLiteral("1")}));
    EXPECT_EQ(column(QStringLiteral("StatusTime"), QStringLiteral("M6")),
              (QStringList{QStringLiteral("2024-03-07 08:00:00.000"),
                           QStringLiteral("2024-03-07 08:00:00.000"), QStringLiteral("NULL")}));
    EXPECT_TRUE(logText().contains(
        QStringLiteral("(8): updateReadStatus(MsgID: M6; Sender lab@x; PracID: P1; Filename: F; "
                       "ReadStatus 3  )")));
}

TEST_P(DeliveryUpdatesTest, NotificationWithTheMarkerClearsTheDeliveryTime)
{
    addRow(QStringLiteral("M7"), QStringLiteral("lab@x"), QStringLiteral("F"),
           QStringLiteral("2024-03-05 11:00:00.000"));
    EXPECT_EQ(loader().updateReadStatus(QStringLiteral("M7"), QStringLiteral("s"), QStringLiteral("P1"),
                                        QStringLiteral("F"), 2, DateField::unreadable(), delivered),
              1);
    EXPECT_EQ(column(QStringLiteral("QZDeliveryTime"), QStringLiteral("M7")),
              QStringList{QStringLiteral("NULL")});
}

TEST_P(DeliveryUpdatesTest, NotificationMatchingNoRowGivesZero)
{
    addRow(QStringLiteral("M8"), QStringLiteral("lab@x"), QStringLiteral("OTHER"), QString());
    EXPECT_EQ(loader().updateReadStatus(QStringLiteral("M8"), QStringLiteral("s"), QStringLiteral("P1"),
                                        QStringLiteral("F"), 2, delivered, delivered),
              0);
    EXPECT_TRUE(logText().contains(QStringLiteral("(8): Rows to Update for MsgID M8: 0)")));
}

TEST_P(DeliveryUpdatesTest, EarliestDeliveryAndItsReceiveTime)
{
    sql(QStringLiteral("INSERT INTO Tracking (MsgID, QZServerReceiveTime, QZDeliveryTime) VALUES "
                       "('M9', '2024-01-01 00:00:00.000', '2024-02-02 00:00:00.000'), "
                       "('M9', '2024-01-05 00:00:00.000', '2024-01-20 00:00:00.000'), "
                       "('M9', '2024-01-06 00:00:00.000', NULL), ('N''9', NULL, NULL)"));
    const LowDeliveryTime low = loader().GetLowDeliveryTime(QStringLiteral("M9"));
    ASSERT_TRUE(low.deliveryTime);
    EXPECT_EQ(*low.deliveryTime, WallClock::of(QDate(2024, 1, 20), QTime(0, 0)));
    EXPECT_EQ(*low.receiveTime, WallClock::of(QDate(2024, 1, 5), QTime(0, 0)));
    const LowDeliveryTime none = loader().GetLowDeliveryTime(QStringLiteral("N'9"));
    EXPECT_FALSE(none.deliveryTime);
    EXPECT_FALSE(none.receiveTime);
    EXPECT_FALSE(logText().contains(QStringLiteral("Exception in GetLowDeliveryTime")));
}

OVTRACK_ON_EVERY_BACKEND(DeliveryUpdatesTest);

} // namespace
