#include "viewer/search/SearchCriteria.h"
#include "viewer/search/TitleClickSortOrder.h"

#include <gtest/gtest.h>

namespace {

struct Click
{
    QString title;
    QString before;
    std::optional<QString> after;
};

class TitleClicks : public ::testing::TestWithParam<Click>
{
};

TEST_P(TitleClicks, GiveTheNextOrder)
{
    EXPECT_EQ(sortOrderAfterTitleClick(GetParam().title, GetParam().before), GetParam().after);
}

const QString Initial = QString::fromLatin1(InitialSortOrder);
const QString PatientAsc = "Patient,PatientGiven,PatientDob,QZServerReceiveTime,Test";
const QString PatientDesc = "Patient Desc,PatientGiven Desc,PatientDob Desc,QZServerReceiveTime,Test";
const QString PracAsc = "PracId,QZServerReceiveTime,Patient,PatientGiven,PatientDob,Test";
const QString PracDesc = "PracId Desc,QZServerReceiveTime,Patient,PatientGiven,PatientDob,Test";
const QString AddrAsc = "AddresseeDoc,QZServerReceiveTime,Patient,PatientGiven,PatientDob,Test";
const QString AddrDesc = "AddresseeDoc Desc,QZServerReceiveTime,Patient,PatientGiven,PatientDob,Test";
const QString StatusAsc =
    "StatusOrder, QZServerReceiveTime,QZDeliveryTime,Patient,PatientGiven,PatientDob,Test";
const QString ReceivedDesc = "QZServerReceiveTime DESC,QZDeliveryTime, Patient,PatientGiven,PatientDob,Test";
const QString StatusDesc =
    "StatusOrder desc, QZServerReceiveTime, QZDeliveryTime,Patient,PatientGiven,PatientDob,Test";

INSTANTIATE_TEST_SUITE_P(
    FourTitles, TitleClicks,
    ::testing::Values(
        Click{"Patient Name", Initial, PatientAsc}, Click{"patient name", PatientAsc, PatientDesc},
        Click{"Patient Name", PatientDesc, PatientAsc}, Click{"Prac. ID", Initial, PracAsc},
        Click{"PRAC. ID", PracAsc, PracDesc}, Click{"Prac. ID", PracDesc, PracAsc},
        Click{"Addressee", PatientAsc, AddrAsc}, Click{"Addressee", AddrAsc, AddrDesc},
        Click{"Status", Initial, ReceivedDesc}, Click{"status", ReceivedDesc, StatusDesc},
        Click{"Status", StatusDesc, StatusAsc}, Click{"Status", StatusAsc, Initial},
        Click{"Status", PatientDesc, StatusAsc},
        // Exact comparison: a different spacing is "anything else".
        Click{"Patient Name", "Patient, PatientGiven,PatientDob,QZServerReceiveTime,Test", PatientAsc},
        Click{"Status", "QZServerReceiveTime,QZDeliveryTime,Patient,PatientGiven,PatientDob,Test", StatusAsc},
        Click{"Test Names", Initial, std::nullopt}, Click{"DOB", PatientAsc, std::nullopt},
        Click{"Delivery Time", Initial, std::nullopt}));

TEST(TitleClicks, TwoPatientClicksThenStatusGiveStatusAscending)
{
    QString order = Initial;
    order = *sortOrderAfterTitleClick("Patient Name", order);
    EXPECT_EQ(order, PatientAsc);
    order = *sortOrderAfterTitleClick("Patient Name", order);
    EXPECT_EQ(order, PatientDesc);
    EXPECT_EQ(*sortOrderAfterTitleClick("Status", order), StatusAsc);
}

} // namespace
