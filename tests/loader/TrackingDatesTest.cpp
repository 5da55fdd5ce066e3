#include "loader/TrackingDates.h"

#include <gtest/gtest.h>

namespace {

const QString DayFirst = QStringLiteral("d/MM/yyyy");
const QString MonthFirst = QStringLiteral("M/d/yyyy");

// "absent", "unreadable" or the date-time as yyyy-MM-dd HH:mm:ss.zzz
QString describe(const DateField &field)
{
    if (field.isAbsent())
        return QStringLiteral("absent");
    if (field.isUnreadable())
        return QStringLiteral("unreadable");
    return field.dateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
}

struct DateCase
{
    const char *text;
    const QString *format;
    const char *expected;
};

class TrackingDateText : public ::testing::TestWithParam<DateCase>
{
};

TEST_P(TrackingDateText, ReadsAsTheImportExpects)
{
    const DateCase &c = GetParam();
    EXPECT_EQ(describe(ParseTrackingDate(QString::fromUtf8(c.text), *c.format)), QLatin1String(c.expected))
        << c.text << " under " << c.format->toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    ServerAndFreeForms, TrackingDateText,
    ::testing::Values(
        // The server's hyphenated form, in both date orders.
        DateCase{"2008-05-03 10:15:00", &DayFirst, "2008-05-03 10:15:00.000"},
        DateCase{"2008-05-03 10:15:00", &MonthFirst, "2008-03-05 10:15:00.000"},
        DateCase{"1905-06-07", &DayFirst, "1905-06-07 00:00:00.000"},
        DateCase{"1905-06-07", &MonthFirst, "1905-07-06 00:00:00.000"},
        DateCase{"2008-05-03", &DayFirst, "2008-05-03 00:00:00.000"},
        // Missing seconds count as one.
        DateCase{"2008-05-03 10:15", &DayFirst, "2008-05-03 10:15:01.000"},
        DateCase{"   2008-05-03    10:15:00  ", &DayFirst, "2008-05-03 10:15:00.000"},
        DateCase{"\t2008-05-03 10:15:00\r", &DayFirst, "2008-05-03 10:15:00.000"},
        DateCase{"xxxx-05-03", &DayFirst, "2000-05-03 00:00:00.000"},
        DateCase{"2008-13-40", &DayFirst, "unreadable"}, DateCase{"2008-02-30", &DayFirst, "unreadable"},
        DateCase{"2008-05-03 25:00:00", &DayFirst, "unreadable"},
        DateCase{"0000-00-00 00:00:00", &DayFirst, "unreadable"}, DateCase{"", &DayFirst, "absent"},
        DateCase{"    ", &DayFirst, "absent"},
        // A time before the date has no digit ahead of it.
        DateCase{"10:30 5 January 2008", &DayFirst, "unreadable"},
        // Word forms and two-digit years.
        DateCase{"5 January 08", &DayFirst, "2008-01-05 00:00:00.000"},
        DateCase{"5 January 09", &DayFirst, "2009-01-05 00:00:00.000"},
        DateCase{"5 January 10", &DayFirst, "1910-01-05 00:00:00.000"},
        DateCase{"5 January 95", &DayFirst, "1995-01-05 00:00:00.000"},
        DateCase{"5 January 5", &DayFirst, "2005-01-05 00:00:00.000"},
        DateCase{"January 5 2008", &DayFirst, "2008-01-05 00:00:00.000"},
        DateCase{"March 3 95", &MonthFirst, "1995-03-03 00:00:00.000"},
        DateCase{"Monday, 3rd March 2008", &DayFirst, "2008-03-03 00:00:00.000"},
        DateCase{"3rd of August 2008 10:30 pm", &DayFirst, "2008-08-03 22:30:00.000"},
        DateCase{"1 March 2008 12:15 AM", &DayFirst, "2008-03-01 00:15:00.000"},
        DateCase{"Sept 21st, 1999", &DayFirst, "1999-09-21 00:00:00.000"},
        DateCase{"2 Jun 2010", &DayFirst, "2010-06-02 00:00:00.000"},
        DateCase{"2 Jul 2010", &DayFirst, "2010-07-02 00:00:00.000"},
        DateCase{"2 Apr 2010", &DayFirst, "2010-04-02 00:00:00.000"},
        DateCase{"2 Dec 2010", &DayFirst, "2010-12-02 00:00:00.000"},
        DateCase{"2 Oct 2010", &DayFirst, "2010-10-02 00:00:00.000"},
        DateCase{"2 Nov 2010", &DayFirst, "2010-11-02 00:00:00.000"},
        DateCase{"2 Feb 2010", &DayFirst, "2010-02-02 00:00:00.000"},
        DateCase{"2 May 2010", &DayFirst, "2010-05-02 00:00:00.000"},
        DateCase{"31 February 2008", &DayFirst, "unreadable"}, DateCase{"5 Ja 2008", &DayFirst, "unreadable"},
        DateCase{"January x 2008", &DayFirst, "unreadable"}, DateCase{"rubbish", &DayFirst, "unreadable"},
        // Numeric dates go through the platform conversion in the short date format.
        DateCase{"5/3/2008", &DayFirst, "2008-03-05 00:00:00.000"},
        DateCase{"5/3/2008", &MonthFirst, "2008-05-03 00:00:00.000"},
        DateCase{"05.03.2008 14:20", &DayFirst, "2008-03-05 14:20:00.000"},
        DateCase{"31/2/2008", &DayFirst, "unreadable"}));

TEST(ShortDateConversion, ReadsTwoDigitYearsWithinFiftyYears)
{
    EXPECT_EQ(convertShortDateText(QStringLiteral("5/3/08"), DayFirst, 2026)->date(), QDate(2008, 3, 5));
    EXPECT_EQ(convertShortDateText(QStringLiteral("5/3/95"), DayFirst, 2026)->date(), QDate(1995, 3, 5));
    EXPECT_EQ(convertShortDateText(QStringLiteral("2008-03-05"), QStringLiteral("yyyy-MM-dd"), 2026)->date(),
              QDate(2008, 3, 5));
    EXPECT_EQ(convertShortDateText(QStringLiteral("5/3/2008 1:02:03 PM"), DayFirst, 2026)->time(),
              QTime(13, 2, 3));
    EXPECT_FALSE(convertShortDateText(QStringLiteral("5/3/2008 junk"), DayFirst, 2026));
    EXPECT_FALSE(convertShortDateText(QStringLiteral("5 March 2008"), DayFirst, 2026));
}

} // namespace
