#include "shared/text/OleDate.h"
#include "viewer/search/SearchSettingsStore.h"
#include "viewer/search/TitleClickSortOrder.h"

#include "shared/text/WallClock.h"
#include "tests/support/TestFolder.h"

#include <QSettings>

#include <gtest/gtest.h>

namespace {

class SettingsStore : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, config.path());
    }

    QSettings raw() const
    {
        return QSettings(QSettings::NativeFormat, QSettings::UserScope, "Tavisk", "RORuzureru");
    }

    TestFolder config;
    const QDateTime now = WallClock::of(QDate(2024, 5, 10), QTime(16, 20, 30));
};

TEST_F(SettingsStore, WritesYesNoAsIntegersAndDatesAsEightByteOleValues)
{
    SearchCriteria c = SearchCriteria::atStartup(now.date());
    c.nameFilterChecked = true;
    c.nameFilterText = "Smith";
    c.toDate = QDate(2024, 4, 1);
    c.toTime = QTime(6, 30);
    c.statusIndex = 2;
    SearchSettingsStore().save(SavedSearch::fromCriteria(c, "Patient", now));

    const QSettings settings = raw();
    EXPECT_EQ(settings.value("QZTNameFilterEnabled").toString(), "1");
    EXPECT_EQ(settings.value("QZTMailBoxFilterEnabled").toString(), "0");
    EXPECT_EQ(settings.value("QZTNameFilter").toString(), "Smith");
    EXPECT_EQ(settings.value("QZTDeliveryStatus").toString(), "Undeliverable");
    const QByteArray toDate = settings.value("QZTToDate").toByteArray();
    ASSERT_EQ(toDate.size(), 8);
    EXPECT_EQ(OleDate::fromBytes(toDate), WallClock::of(QDate(2024, 4, 1), QTime(0, 0)));
    EXPECT_EQ(OleDate::fromBytes(settings.value("QZTToTime").toByteArray())->time(), QTime(6, 30));
    EXPECT_EQ(settings.value("QZTFromDate").toByteArray().size(), 8);
    EXPECT_EQ(settings.value("QZTFromTime").toByteArray().size(), 8);
    EXPECT_EQ(settings.value("QZTSortOrder").toString(), "Patient");
}

TEST_F(SettingsStore, RoundTripRestoresWhatIsReadAndNotTheFromDate)
{
    SearchCriteria c = SearchCriteria::atStartup(now.date());
    c.mailboxChecked = c.fromDateChecked = c.toDateChecked = true;
    c.mailboxText = "P0%";
    c.fromDate = QDate(2023, 1, 1);
    c.fromTime = QTime(1, 2, 3);
    c.toDate = QDate(2024, 2, 3);
    c.toTime = QTime(4, 5, 6);
    c.statusIndex = 9;
    const QString practiceOrder = "PracId,QZServerReceiveTime,Patient,PatientGiven,PatientDob,Test";
    SearchSettingsStore().save(SavedSearch::fromCriteria(c, practiceOrder, now));

    const QDateTime later = WallClock::of(QDate(2024, 6, 1), QTime(8, 9, 10));
    SearchCriteria restored = SearchCriteria::atStartup(later.date());
    QString sortOrder;
    SearchSettingsStore().load().applyTo(restored, sortOrder, later);
    EXPECT_TRUE(restored.mailboxChecked);
    EXPECT_EQ(restored.mailboxText, "P0%");
    EXPECT_TRUE(restored.fromDateChecked);
    EXPECT_EQ(restored.fromDate, QDate(2024, 5, 31)); // start-up's yesterday: the saved date is not read
    EXPECT_EQ(restored.fromTime, QTime(8, 9, 10));    // the current time of day
    EXPECT_EQ(restored.toDate, QDate(2024, 2, 3));
    EXPECT_EQ(restored.toTime, QTime(4, 5, 6));
    EXPECT_EQ(restored.statusIndex, 9);
    EXPECT_EQ(sortOrder, practiceOrder);
}

// Every order the window sets itself comes back as it was saved; nothing else does (see the search
// tests for what a changed value would otherwise run).
TEST_F(SettingsStore, EveryOrderTheWindowSetsIsRestoredAndNoOther)
{
    QStringList windowOrders{QString::fromLatin1(InitialSortOrder), QString::fromLatin1(PracticeSortOrder)};
    for (const char *title : {"Patient Name", "Prac. ID", "Addressee", "Status"}) {
        QString order = QString::fromLatin1(InitialSortOrder);
        for (int click = 0; click < 4; ++click) {
            order = *sortOrderAfterTitleClick(title, order);
            windowOrders << order;
        }
    }
    windowOrders.removeDuplicates();
    EXPECT_EQ(windowOrders.size(), 11);
    const auto restored = [&](const QString &saved) {
        raw().setValue("QZTSortOrder", saved);
        SearchCriteria c = SearchCriteria::atStartup(now.date());
        QString sortOrder;
        SearchSettingsStore().load().applyTo(c, sortOrder, now);
        return sortOrder;
    };
    for (const QString &order : windowOrders)
        EXPECT_EQ(restored(order), order);
    for (const char *other : {"MsgID", "", "Pracid,QZServerReceiveTime Desc,Patient,PatientGiven,PatientDob,Test,1"})
        EXPECT_EQ(restored(other), QString::fromLatin1(InitialSortOrder)) << other;
}

TEST_F(SettingsStore, AbsentValuesLeaveStartUpStateAndTheInitialSortOrder)
{
    SearchCriteria c = SearchCriteria::atStartup(now.date());
    QString sortOrder = "something";
    SearchSettingsStore().load().applyTo(c, sortOrder, now);
    EXPECT_FALSE(c.nameFilterChecked);
    EXPECT_EQ(c.statusIndex, SearchCriteria::NoStatus);
    EXPECT_EQ(c.toTime, QTime(0, 0));
    EXPECT_EQ(c.fromTime, now.time());
    EXPECT_EQ(sortOrder, QString::fromLatin1(InitialSortOrder));
}

TEST_F(SettingsStore, UnknownStatusTextSelectsNothingAndBadDatesAreSkipped)
{
    QSettings settings = raw();
    settings.setValue("QZTDeliveryStatus", "Lost");
    settings.setValue("QZTToDate", QByteArray("short"));
    settings.sync();
    SearchCriteria c = SearchCriteria::atStartup(now.date());
    c.statusIndex = 4;
    QString sortOrder;
    SearchSettingsStore().load().applyTo(c, sortOrder, now);
    EXPECT_EQ(c.statusIndex, SearchCriteria::NoStatus);
    EXPECT_EQ(c.toDate, now.date());
}

TEST_F(SettingsStore, ColumnWidthsByGridColumnName)
{
    SearchSettingsStore().SaveGridColumnWidths({78, 59, 52});
    EXPECT_EQ(raw().value("GridColWidths/ContentDBGridCol1").toInt(), 59);
    const auto widths = SearchSettingsStore().LoadGridColumnWidths(14);
    EXPECT_EQ(widths, (std::map<int, int>{{0, 78}, {1, 59}, {2, 52}}));
}

} // namespace
