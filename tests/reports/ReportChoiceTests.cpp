#include "viewer/reports/ReportChoice.h"

#include <gtest/gtest.h>

namespace {

struct SortCase
{
    const char *sortOrder;
    ReportKind expected;
};

void PrintTo(const SortCase &value, std::ostream *out)
{
    *out << '"' << value.sortOrder << '"';
}

class TrackReportChoice : public ::testing::TestWithParam<SortCase>
{
};

TEST_P(TrackReportChoice, PracticeOrdersGiveThePracticeReport)
{
    EXPECT_EQ(ReportChoice::trackReportFor(QString::fromLatin1(GetParam().sortOrder)), GetParam().expected)
        << GetParam().sortOrder;
}

INSTANTIATE_TEST_SUITE_P(
    SortOrders, TrackReportChoice,
    ::testing::Values(SortCase{"Pracid,QZServerReceiveTime Desc,Patient,PatientGiven,PatientDob,Test",
                               ReportKind::Practice},
                      SortCase{"PracId Desc,QZServerReceiveTime,Patient,PatientGiven,PatientDob,Test",
                               ReportKind::Practice},
                      SortCase{"PRACID,PATIENT", ReportKind::Practice},
                      SortCase{"QZServerReceiveTime,PracID,Patient", ReportKind::Practice},
                      // Without "patient" the order is not by practice: the search report.
                      SortCase{"PRACID", ReportKind::Search},
                      SortCase{"PracID, MsgID", ReportKind::Search},
                      SortCase{"QZServerReceiveTime,PracID", ReportKind::Search},
                      SortCase{"Patient,PatientGiven,PatientDob,QZServerReceiveTime,Test",
                               ReportKind::Search},
                      SortCase{"Patient,PracID", ReportKind::Search},
                      SortCase{"QZServerReceiveTime,QZDeliveryTime, Patient,PatientGiven,PatientDob,Test",
                               ReportKind::Search},
                      SortCase{"StatusOrder,QZServerReceiveTime Desc", ReportKind::Search},
                      SortCase{"QZServerReceiveTime Desc", ReportKind::Search},
                      SortCase{"", ReportKind::Search}));

TEST(LargeReportWarning, AppliesAboveOneHundredAndFiftyRows)
{
    EXPECT_FALSE(ReportChoice::needsLargeReportWarning(0));
    EXPECT_FALSE(ReportChoice::needsLargeReportWarning(150));
    EXPECT_TRUE(ReportChoice::needsLargeReportWarning(151));
    EXPECT_TRUE(ReportChoice::needsLargeReportWarning(1000000));
}

TEST(LargeReportWarning, NamesTheCount)
{
    EXPECT_EQ(ReportChoice::largeReportWarningText(151),
              QStringLiteral("Warning!!\r\nThere are 151 records to report"));
    EXPECT_EQ(ReportChoice::largeReportWarningCaption(), QStringLiteral("Large Report Record"));
}

TEST(NotDeliveredByPractice, TogglesBetweenPracticeAndDefaultOrder)
{
    const QString practice =
        QStringLiteral("Pracid,QZServerReceiveTime Desc,Patient,PatientGiven,PatientDob,Test");
    const QString byDefault =
        QStringLiteral("QZServerReceiveTime,QZDeliveryTime, Patient,PatientGiven,PatientDob,Test");
    EXPECT_EQ(ReportChoice::notDeliveredSortOrder(byDefault), practice);
    EXPECT_EQ(ReportChoice::notDeliveredSortOrder(practice), byDefault);
    // Only the exact practice order counts as set: any other order gets the practice order.
    EXPECT_EQ(ReportChoice::notDeliveredSortOrder(practice.toLower()), practice);
    EXPECT_EQ(ReportChoice::notDeliveredSortOrder(QStringLiteral("Patient")), practice);
    // Twice in a row leaves the default order in force, and the search report is chosen again.
    const QString twice = ReportChoice::notDeliveredSortOrder(ReportChoice::notDeliveredSortOrder(byDefault));
    EXPECT_EQ(twice, byDefault);
    EXPECT_EQ(ReportChoice::trackReportFor(ReportChoice::notDeliveredSortOrder(byDefault)),
              ReportKind::Practice);
    EXPECT_EQ(ReportChoice::trackReportFor(twice), ReportKind::Search);
}

} // namespace
