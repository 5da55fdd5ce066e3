#include "shared/tracking/SqlServerDialect.h"
#include "shared/tracking/SqliteDialect.h"
#include "shared/text/WallClock.h"
#include "viewer/search/TrackQueryComposer.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

const QDateTime Now = WallClock::of(QDate(2024, 3, 15), QTime(14, 30, 5));
const QString Sort = QString::fromLatin1(InitialSortOrder);

SearchCriteria startup()
{
    return SearchCriteria::atStartup(Now.date());
}

QStringList names(const ComposedTrackQuery &query)
{
    QStringList out;
    for (const QueryParameter &p : query.parameters)
        out << p.name;
    return out;
}

QVariant parameter(const ComposedTrackQuery &query, const QString &name)
{
    for (const QueryParameter &p : query.parameters) {
        if (p.name == name)
            return p.value;
    }
    return {};
}

struct Case
{
    const char *name;
    std::function<void(SearchCriteria &)> tick;
    QStringList lines;
    QStringList parameters;
    QString criteriaText;
};

class ComposerCases : public ::testing::TestWithParam<Case>
{
};

TEST_P(ComposerCases, LinesParametersAndDescription)
{
    const Case &c = GetParam();
    SearchCriteria criteria = startup();
    c.tick(criteria);
    const SqlServerDialect dialect;
    const ComposedTrackQuery query = TrackQueryComposer(dialect).compose(criteria, Sort, Now);
    EXPECT_EQ(query.criterionLines, c.lines);
    EXPECT_EQ(names(query), c.parameters);
    EXPECT_EQ(query.criteriaText, c.criteriaText);
}

const QString Range =
    "((QZServerReceiveTime between :QFromDate and :QTodate) or (StatusTime between :QFromDate2 and "
    ":QTodate2) or (QZDeliveryTime between :QFromDate3 and :QTodate3))";
const QStringList RangeParameters{"QFromDate", "QFromDate2", "QFromDate3", "QTodate", "QTodate2", "QTodate3"};

INSTANTIATE_TEST_SUITE_P(
    SingleAndCombined, ComposerCases,
    ::testing::Values(
        Case{"LabRef",
             [](SearchCriteria &c) { c.requestIdChecked = true, c.requestText = " L12 "; },
             {"LabId like :QLabId"},
             {"QLabId"},
             "Lab Ref = \"L12\", "},
        Case{"Patient",
             [](SearchCriteria &c) { c.nameFilterChecked = true, c.nameFilterText = "Smi"; },
             {"patient like :Qpatient"},
             {"Qpatient"},
             "Patient \"Smi\", "},
        Case{"Mailbox",
             [](SearchCriteria &c) { c.mailboxChecked = true, c.mailboxText = "P01"; },
             {"pracid like :Qpracid"},
             {"Qpracid"},
             "Practice \"P01\", "},
        Case{"Addressee",
             [](SearchCriteria &c) { c.addresseeChecked = true, c.addresseeText = "Dr A"; },
             {"AddresseeDoc like :QAddresseeDoc"},
             {"QAddresseeDoc"},
             "Addressee \"Dr A\", "},
        Case{"Requestor",
             [](SearchCriteria &c) { c.requestingDocChecked = true, c.requestingDocText = "Dr B"; },
             {"RequestingDoc like :QRequestingDoc"},
             {"QRequestingDoc"},
             "Requestor \"Dr B\", "},
        Case{"Dob",
             [](SearchCriteria &c) { c.dobChecked = true; },
             {"PatientDOB = :QPatDOB"},
             {"QPatDOB"},
             "DOB 2000-01-01 00:00:00, "},
        Case{"RequestDate",
             [](SearchCriteria &c) { c.reqDateChecked = true; },
             {"RequestDate = :QRequestDate"},
             {"QRequestDate"},
             "Requested 2024-03-15 00:00:00, "},
        Case{"FileType",
             [](SearchCriteria &c) { c.fileTypeChecked = true, c.fileTypeText = " HL7 "; },
             {"FileType like :QFileType"},
             {"QFileType"},
             "Type HL7, "},
        Case{"RunNumber",
             [](SearchCriteria &c) { c.runNumberChecked = true, c.runNumberText = "R7"; },
             {"RunNumber like :QRunNumber"},
             {"QRunNumber"},
             "Run Number \"R7\", "},
        Case{"FromOnly",
             [](SearchCriteria &c) { c.fromDateChecked = true, c.fromTime = QTime(9, 15); },
             {Range},
             RangeParameters,
             "From 2024-03-14 09:15:00,to 2024-03-16 00:00:00, "},
        Case{"ToOnly",
             [](SearchCriteria &c) {
                 c.toDateChecked = true, c.toDate = QDate(2024, 2, 1), c.toTime = QTime(8, 0);
             },
             {Range},
             RangeParameters,
             "From 2000-01-01 00:00:00,to 2024-02-01 08:00:00, "},
        Case{"EverythingInOrder",
             [](SearchCriteria &c) {
                 c.runNumberChecked = c.fileTypeChecked = c.reqDateChecked = c.dobChecked = true;
                 c.requestingDocChecked = c.addresseeChecked = c.mailboxChecked = c.nameFilterChecked = true;
                 c.requestIdChecked = c.fromDateChecked = c.toDateChecked = true;
                 c.runNumberText = "R", c.fileTypeText = "PIT", c.mailboxText = "P%";
                 c.statusIndex = 3;
             },
             {"LabId like :QLabId and", "patient like :Qpatient and", "pracid like :Qpracid and",
              "AddresseeDoc like :QAddresseeDoc and", "RequestingDoc like :QRequestingDoc and",
              "PatientDOB = :QPatDOB and", "RequestDate = :QRequestDate and",
              "(QZDeliveryTime is null or (QZDeliveryTime = '1905-06-07' or QZDeliveryTime = '1905-07-06' or "
              "QZDeliveryTime = '1900-01-01')) and",
              "FileType like :QFileType and", "RunNumber like :QRunNumber and", Range},
             {"QLabId", "Qpatient", "Qpracid", "QAddresseeDoc", "QRequestingDoc", "QFileType", "QRunNumber",
              "QPatDOB", "QRequestDate", "QFromDate", "QFromDate2", "QFromDate3", "QTodate", "QTodate2",
              "QTodate3"},
             "Status: Not Delivered Lab Ref = \"\", From 2024-03-14 00:00:00,to 2024-03-15 00:00:00, Type "
             "PIT, "
             "Requested 2024-03-15 00:00:00, DOB 2000-01-01 00:00:00, Patient \"\", Practice \"P%\", "
             "Addressee \"\", Requestor \"\", Run Number \"R\", "}),
    [](const ::testing::TestParamInfo<Case> &info) { return std::string(info.param.name); });

struct StatusCase
{
    int index;
    QString line;
    QString text;
};

class StatusEntries : public ::testing::TestWithParam<StatusCase>
{
};

TEST_P(StatusEntries, ConditionAndDescription)
{
    SearchCriteria criteria = startup();
    criteria.statusIndex = GetParam().index;
    const SqlServerDialect dialect;
    const ComposedTrackQuery query = TrackQueryComposer(dialect).compose(criteria, Sort, Now);
    EXPECT_EQ(query.criterionLines, QStringList{GetParam().line});
    EXPECT_TRUE(query.parameters.empty());
    EXPECT_EQ(query.criteriaText, GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    AllTwelve, StatusEntries,
    ::testing::Values(
        StatusCase{0, "QZDeliveryTime is null", "Status: Waiting "},
        StatusCase{1, "QZDeliveryTime is not null and QZDeliveryTime <> '1900-01-01'", "Status: Delivery "},
        StatusCase{2, "QZDeliveryTime = '1900-01-01'", "Status: Undeliverable "},
        StatusCase{
            3,
            "(QZDeliveryTime is null or (QZDeliveryTime = '1905-06-07' or QZDeliveryTime = '1905-07-06' or "
            "QZDeliveryTime = '1900-01-01'))",
            "Status: Not Delivered "},
        StatusCase{4, "QZDeliveryTime = '2001-01-01'", "Status: Emailed "},
        StatusCase{5, "QZDeliveryTime = '1900-01-27'", "Status: Managed "},
        StatusCase{6, "ReadStatus = 2", "Status: Imported/Processed "},
        StatusCase{7, "ReadStatus = 3", "Status: HL7 Ack "},
        StatusCase{8, "ReadStatus = 6", "Status: HL7 Reject "},
        StatusCase{9, "ReadStatus = 99", "Status: Auto Resent "},
        StatusCase{10, "(QZDeliveryTime = '1905-06-07' or QZDeliveryTime = '1905-07-06')",
                   "Status: Decrypt Fail "}));

TEST(Composer, StatementAndCountTextsAreTheSameCriteriaWithAndWithoutOrder)
{
    SearchCriteria criteria = startup();
    criteria.nameFilterChecked = true;
    criteria.statusIndex = 2;
    const SqlServerDialect dialect;
    const ComposedTrackQuery query = TrackQueryComposer(dialect).compose(criteria, Sort, Now);
    EXPECT_EQ(query.trackText(),
              "select\r\ncase\r\nwhen QZDeliveryTime is null then 1\r\nwhen QZDeliveryTime = '1900-01-01' "
              "then 0\r\n"
              "when QZDeliveryTime = QZServerReceiveTime then 2\r\nelse 3 end as StatusOrder, *\r\n"
              "from Tracking Where \r\npatient like :Qpatient and\r\nQZDeliveryTime = '1900-01-01'\r\n"
              "order by QZServerReceiveTime,QZDeliveryTime, Patient,PatientGiven,PatientDob,Test");
    EXPECT_EQ(query.countText(), "select Count(MsgID) as TRACKCOUNT from Tracking Where \r\n"
                                 "patient like :Qpatient and\r\nQZDeliveryTime = '1900-01-01'");
}

TEST(Composer, ParameterValuesAreTrimmedAndWildcarded)
{
    SearchCriteria c = startup();
    c.requestIdChecked = c.nameFilterChecked = c.addresseeChecked = c.requestingDocChecked = true;
    c.fileTypeChecked = c.runNumberChecked = c.dobChecked = c.reqDateChecked = true;
    c.requestText = "  L1 ", c.nameFilterText = " smi ", c.addresseeText = " Doc ";
    c.requestingDocText = "Req", c.fileTypeText = "HL7", c.runNumberText = " 9 ";
    c.dobDate = QDate(1970, 5, 6), c.reqDate = QDate(2024, 1, 2);
    const SqlServerDialect dialect;
    const ComposedTrackQuery q = TrackQueryComposer(dialect).compose(c, Sort, Now);
    EXPECT_EQ(parameter(q, "QLabId"), "L1%");
    EXPECT_EQ(parameter(q, "Qpatient"), "smi%");
    EXPECT_EQ(parameter(q, "QAddresseeDoc"), "%Doc%");
    EXPECT_EQ(parameter(q, "QRequestingDoc"), "%Req%");
    EXPECT_EQ(parameter(q, "QFileType"), "%HL7%");
    EXPECT_EQ(parameter(q, "QRunNumber"), "%9%");
    EXPECT_EQ(parameter(q, "QPatDOB"), WallClock::of(QDate(1970, 5, 6), QTime(0, 0)));
    EXPECT_EQ(parameter(q, "QRequestDate"), WallClock::of(QDate(2024, 1, 2), QTime(0, 0)));
    for (const QueryParameter &p : q.parameters) {
        const bool date = p.name == "QPatDOB" || p.name == "QRequestDate";
        EXPECT_EQ(p.type, date ? ParamType::DateTime : ParamType::Text) << p.name.toStdString();
    }
}

TEST(Composer, MailboxGetsAPercentOnlyWithoutOneOfItsOwn)
{
    const SqlServerDialect dialect;
    for (const auto &[typed, bound] : std::vector<std::pair<QString, QString>>{
             {" P01 ", "P01%"}, {"P%1", "P%1"}, {"%01 ", "%01"}, {"", "%"}}) {
        SearchCriteria c = startup();
        c.mailboxChecked = true;
        c.mailboxText = typed;
        EXPECT_EQ(parameter(TrackQueryComposer(dialect).compose(c, Sort, Now), "Qpracid"), bound)
            << typed.toStdString();
    }
}

TEST(Composer, RangeInstantsDefaultToTheYear2000AndTomorrow)
{
    const SqlServerDialect dialect;
    SearchCriteria fromOnly = startup();
    fromOnly.fromDateChecked = true;
    fromOnly.fromDate = QDate(2024, 3, 1), fromOnly.fromTime = QTime(7, 45, 30);
    const ComposedTrackQuery a = TrackQueryComposer(dialect).compose(fromOnly, Sort, Now);
    for (const char *name : {"QFromDate", "QFromDate2", "QFromDate3"})
        EXPECT_EQ(parameter(a, name), WallClock::of(QDate(2024, 3, 1), QTime(7, 45, 30)));
    for (const char *name : {"QTodate", "QTodate2", "QTodate3"})
        EXPECT_EQ(parameter(a, name), WallClock::of(QDate(2024, 3, 16), QTime(0, 0)));

    SearchCriteria toOnly = startup();
    toOnly.toDateChecked = true;
    toOnly.toDate = QDate(2023, 12, 31), toOnly.toTime = QTime(23, 59, 59);
    const ComposedTrackQuery b = TrackQueryComposer(dialect).compose(toOnly, Sort, Now);
    EXPECT_EQ(parameter(b, "QFromDate2"), WallClock::of(QDate(2000, 1, 1), QTime(0, 0)));
    EXPECT_EQ(parameter(b, "QTodate3"), WallClock::of(QDate(2023, 12, 31), QTime(23, 59, 59)));
}

TEST(Composer, NothingThatAppliesMeansNoCriteria)
{
    const SqlServerDialect dialect;
    std::vector<std::function<void(SearchCriteria &)>> setups{
        [](SearchCriteria &) {},
        [](SearchCriteria &c) { c.statusIndex = StatusFilterAll; },
        [](SearchCriteria &c) { c.fileTypeChecked = true, c.statusIndex = StatusFilterAll; },
        [](SearchCriteria &c) { c.runNumberChecked = true; },
        [](SearchCriteria &c) { c.nameFilterText = "typed but not ticked"; },
    };
    for (const auto &setup : setups) {
        SearchCriteria c = startup();
        setup(c);
        const ComposedTrackQuery q = TrackQueryComposer(dialect).compose(c, Sort, Now);
        EXPECT_FALSE(q.hasCriteria());
        EXPECT_TRUE(q.criteriaText.isEmpty());
        EXPECT_TRUE(q.trackLines.isEmpty());
    }
}

TEST(Composer, TickedTextCriterionWithEmptyTextStillApplies)
{
    SearchCriteria c = startup();
    c.nameFilterChecked = true;
    const SqlServerDialect dialect;
    const ComposedTrackQuery q = TrackQueryComposer(dialect).compose(c, Sort, Now);
    EXPECT_EQ(parameter(q, "Qpatient"), "%");
    EXPECT_EQ(q.criteriaText, "Patient \"\", ");
}

TEST(Composer, SqliteWritesItsOwnSentinelLiterals)
{
    SearchCriteria c = startup();
    c.statusIndex = 10;
    const SqliteDialect dialect;
    const ComposedTrackQuery q = TrackQueryComposer(dialect).compose(c, Sort, Now);
    EXPECT_EQ(q.criterionLines, QStringList{"(QZDeliveryTime = '1905-06-07 00:00:00.000' or QZDeliveryTime = "
                                            "'1905-07-06 00:00:00.000')"});
    EXPECT_TRUE(q.trackText().contains("when QZDeliveryTime = '1900-01-01 00:00:00.000' then 0"));
}

} // namespace
