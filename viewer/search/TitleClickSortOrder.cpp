#include "viewer/search/TitleClickSortOrder.h"

#include "viewer/search/SearchCriteria.h"

namespace {

struct Toggle
{
    const char *title;
    const char *ascending;
    const char *descending;
};

constexpr Toggle Toggles[] = {
    {"Patient Name", "Patient,PatientGiven,PatientDob,QZServerReceiveTime,Test",
     "Patient Desc,PatientGiven Desc,PatientDob Desc,QZServerReceiveTime,Test"},
    {"Prac. ID", "PracId,QZServerReceiveTime,Patient,PatientGiven,PatientDob,Test",
     "PracId Desc,QZServerReceiveTime,Patient,PatientGiven,PatientDob,Test"},
    {"Addressee", "AddresseeDoc,QZServerReceiveTime,Patient,PatientGiven,PatientDob,Test",
     "AddresseeDoc Desc,QZServerReceiveTime,Patient,PatientGiven,PatientDob,Test"},
};

// The four orders of the "Status" title; each click moves to the next, anything else to the first.
constexpr const char *StatusCycle[] = {
    "StatusOrder, QZServerReceiveTime,QZDeliveryTime,Patient,PatientGiven,PatientDob,Test",
    "QZServerReceiveTime,QZDeliveryTime, Patient,PatientGiven,PatientDob,Test",
    "QZServerReceiveTime DESC,QZDeliveryTime, Patient,PatientGiven,PatientDob,Test",
    "StatusOrder desc, QZServerReceiveTime, QZDeliveryTime,Patient,PatientGiven,PatientDob,Test",
};

} // namespace

std::optional<QString> sortOrderAfterTitleClick(const QString &title, const QString &sortOrder)
{
    for (const Toggle &toggle : Toggles) {
        if (title.compare(QLatin1String(toggle.title), Qt::CaseInsensitive) != 0)
            continue;
        if (sortOrder == QLatin1String(toggle.ascending))
            return QString::fromLatin1(toggle.descending);
        return QString::fromLatin1(toggle.ascending);
    }
    if (title.compare(QLatin1String("Status"), Qt::CaseInsensitive) != 0)
        return std::nullopt;
    // The last order of the cycle has no successor in the table: it falls back to the first.
    for (std::size_t i = 0; i + 1 < std::size(StatusCycle); ++i) {
        if (sortOrder == QLatin1String(StatusCycle[i]))
            return QString::fromLatin1(StatusCycle[i + 1]);
    }
    return QString::fromLatin1(StatusCycle[0]);
}

bool isWindowSortOrder(const QString &sortOrder)
{
    if (sortOrder == QLatin1String(InitialSortOrder) || sortOrder == QLatin1String(PracticeSortOrder))
        return true;
    for (const Toggle &toggle : Toggles) {
        if (sortOrder == QLatin1String(toggle.ascending) || sortOrder == QLatin1String(toggle.descending))
            return true;
    }
    for (const char *order : StatusCycle) {
        if (sortOrder == QLatin1String(order))
            return true;
    }
    return false;
}
