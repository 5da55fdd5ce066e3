#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QTime>

// The values of the search panel's controls, as RunTrackQuery reads them. The window fills one
// from its controls; the headless export builds one from the saved criteria.
struct SearchCriteria
{
    bool nameFilterChecked = false; // NameFilterCheck, rsNameFilterEdit
    QString nameFilterText;
    bool requestIdChecked = false; // RequestIDCheck, rsRequestEdit
    QString requestText;
    bool dobChecked = false; // DOBCheck, rsDOBPicker
    QDate dobDate{2000, 1, 1};
    bool mailboxChecked = false; // MailboxCheck, rsMailboxEdit
    QString mailboxText;
    bool addresseeChecked = false; // AddresseeCheck, rsAddressEdit
    QString addresseeText;
    bool requestingDocChecked = false; // RequestingDocCheck, rsREqDocEdit
    QString requestingDocText;
    bool fromDateChecked = false; // FromDateCheck, rsFromDatePicker + FromTimePicker
    QDate fromDate;
    QTime fromTime{0, 0};
    bool toDateChecked = false; // ToDateCheck, rstoDatePicker + ToTimePicker
    QDate toDate;
    QTime toTime{0, 0};
    bool reqDateChecked = false; // ReqDateCheck, rsReqDatePicker
    QDate reqDate;
    int statusIndex = NoStatus;   // StatusFilter entry
    bool fileTypeChecked = false; // FileTypeCheck, FileTypeCombo
    QString fileTypeText;
    bool runNumberChecked = false; // cbxRunNumber, txtRunNumber
    QString runNumberText;

    static constexpr int NoStatus = -1;

    // The controls as start-up leaves them: nothing ticked, From date yesterday, To date and request
    // date today, times at midnight, date of birth 1 January 2000.
    static SearchCriteria atStartup(const QDate &today);
};

// The entries of the StatusFilter list, in list order; the last is "All".
const QStringList &statusFilterEntries();
inline constexpr int StatusFilterAll = 11;
// The index of the entry with exactly this text, or NoStatus.
int statusFilterIndexOf(const QString &entry);
// The text of the entry at `index`, empty when none is selected.
QString statusFilterText(int index);

// The ORDER BY column list the window starts with.
inline constexpr const char *InitialSortOrder =
    "QZServerReceiveTime,QZDeliveryTime, Patient,PatientGiven,PatientDob,Test";
// The order "&Not Delivered by practice" sets.
inline constexpr const char *PracticeSortOrder =
    "Pracid,QZServerReceiveTime Desc,Patient,PatientGiven,PatientDob,Test";
