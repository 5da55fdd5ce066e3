#include "shared/text/WallClock.h"
#include "viewer/search/TrackRowPresentation.h"

#include <gtest/gtest.h>

namespace {

using namespace TrackRowPresentation;

QDateTime at(int y, int m, int d, int h = 0, int n = 0, int s = 0)
{
    return WallClock::of(QDate(y, m, d), QTime(h, n, s));
}

const QDateTime Received = at(2024, 3, 1, 9, 5, 7);
const QDateTime StatusAt = at(2024, 3, 2, 10, 0, 1);
const QDateTime Delivered = at(2024, 3, 1, 11, 30, 0);

struct Row
{
    const char *name;
    TrackRowFacts facts;
    QString status;
    std::optional<QDateTime> shownDelivery;
    std::optional<RowColours> colours;
};

const RowColours Red{QColor(255, 0, 0), QColor(Qt::white)};
const RowColours Sky{QColor(166, 202, 240), QColor(Qt::black)};
const RowColours Orange{QColor(255, 127, 39), QColor(Qt::black)};
const RowColours Olive{QColor(128, 128, 0), QColor(Qt::black)};

TrackRowFacts facts(std::optional<QDateTime> delivery, std::optional<QDateTime> status, QVariant readStatus,
                    std::optional<QDateTime> received = Received)
{
    return TrackRowFacts{delivery, status, received, readStatus, std::nullopt, std::nullopt};
}

class StatusRows : public ::testing::TestWithParam<Row>
{
};

TEST_P(StatusRows, StatusShownDeliveryAndColours)
{
    const Row &row = GetParam();
    EXPECT_EQ(statusText(row.facts), row.status);
    EXPECT_EQ(shownDeliveryTime(row.facts), row.shownDelivery);
    EXPECT_EQ(rowColours(statusText(row.facts)), row.colours);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StatusRows,
    ::testing::Values(
        Row{"WaitingWithStatus", facts(std::nullopt, StatusAt, 1), "Received 02/03/24 10:00:01", std::nullopt,
            std::nullopt},
        Row{"WaitingRetransmitted", facts(std::nullopt, StatusAt, 99), "Retransmitted 02/03/24 10:00:01",
            std::nullopt, Orange},
        Row{"WaitingNoStatus", facts(std::nullopt, std::nullopt, QVariant()), "Waiting 01/03/24 09:05:07",
            std::nullopt, Sky},
        Row{"WaitingWithoutAnyTime", facts(std::nullopt, std::nullopt, QVariant(), std::nullopt), "Waiting ",
            std::nullopt, Sky},
        Row{"WaitingUnknownCode", facts(std::nullopt, StatusAt, 7), " 02/03/24 10:00:01", std::nullopt,
            std::nullopt},
        Row{"Emailed", facts(at(2001, 1, 1), std::nullopt, 3), "Emailed ", Received, std::nullopt},
        Row{"DecryptDayFirst", facts(at(1905, 6, 7), StatusAt, QVariant()), "Decrypt FAIL", std::nullopt,
            Red},
        Row{"DecryptMonthFirst", facts(at(1905, 7, 6), std::nullopt, 99), "Decrypt FAIL", std::nullopt, Red},
        Row{"Managed", facts(at(1900, 1, 27), std::nullopt, QVariant()), "Managed 01/03/24 09:05:07",
            at(1900, 1, 27), std::nullopt},
        Row{"Undeliverable", facts(at(1900, 1, 1), std::nullopt, QVariant()), "Undeliverable", at(1900, 1, 1),
            Red},
        Row{"UndeliverableRejected", facts(at(1900, 1, 1), StatusAt, 6), "Undeliverable", at(1900, 1, 1),
            Red},
        Row{"SentinelDayNotAtMidnight", facts(at(1900, 1, 1, 0, 0, 1), std::nullopt, QVariant()),
            " 01/01/00 00:00:01", at(1900, 1, 1, 0, 0, 1), std::nullopt},
        Row{"AckWithStatusTime", facts(Delivered, StatusAt, 3), "HL7 Ack 02/03/24 10:00:01", Delivered,
            std::nullopt},
        Row{"RejectedDelivered", facts(Delivered, StatusAt, 6), "HL7 REJECT 02/03/24 10:00:01", Delivered,
            Olive},
        Row{"DeliveredNoStatus", facts(Delivered, std::nullopt, QVariant()), " 01/03/24 11:30:00", Delivered,
            std::nullopt},
        Row{"DeliveredImportedNoStatusTime", facts(Delivered, std::nullopt, 2), "Imported 01/03/24 11:30:00",
            Delivered, std::nullopt}),
    [](const ::testing::TestParamInfo<Row> &info) { return std::string(info.param.name); });

TEST(RowColours, TestedOnTheLowerCasedStatusInOrder)
{
    EXPECT_EQ(rowColours("UNDELIVERABLE"), Red);
    EXPECT_EQ(rowColours("Undeliverable "), std::nullopt); // equality, not a prefix
    EXPECT_EQ(rowColours("decrypt fail"), Red);
    EXPECT_EQ(rowColours("WAITING"), Sky);
    EXPECT_EQ(rowColours("Retrans"), Orange);
    EXPECT_EQ(rowColours("hl7 reject"), Olive);
    EXPECT_EQ(rowColours("HL7 Ack 01/01/24 00:00:00"), std::nullopt);
    EXPECT_EQ(rowColours(""), std::nullopt);
}

TEST(PatientName, SurnameFirstAndNothingWithoutSurname)
{
    TrackRowFacts row;
    row.patientGiven = "Ann";
    EXPECT_EQ(patientName(row), "");
    row.patient = "Smith";
    EXPECT_EQ(patientName(row), "Smith Ann");
    row.patientGiven.reset();
    EXPECT_EQ(patientName(row), "Smith");
    row.patientGiven = "";
    EXPECT_EQ(patientName(row), "Smith ");
}

TEST(GridDateTime, MidnightShowsTheDateAlone)
{
    EXPECT_EQ(gridDateTimeText(at(2024, 3, 5)), "05/03/2024");
    EXPECT_EQ(gridDateTimeText(at(2024, 3, 5, 0, 0, 1)), "05/03/2024 00:00:01");
    EXPECT_EQ(gridDateTimeText(at(1900, 1, 27)), "27/01/1900");
    EXPECT_EQ(gridDateTimeText(at(2024, 12, 31, 23, 59, 59)), "31/12/2024 23:59:59");
    EXPECT_EQ(gridDateTimeText(QDateTime()), "");
}

} // namespace
