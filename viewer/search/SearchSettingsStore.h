#pragma once

#include "viewer/search/SearchCriteria.h"

#include <QDateTime>
#include <QString>

#include <map>
#include <optional>
#include <vector>

// The criteria kept between runs. A value absent from the store is empty here.
struct SavedSearch
{
    std::optional<QString> nameFilter;        // QZTNameFilter
    std::optional<bool> nameFilterEnabled;    // QZTNameFilterEnabled
    std::optional<QString> mailBoxFilter;     // QZTMailBoxFilter
    std::optional<bool> mailBoxFilterEnabled; // QZTMailBoxFilterEnabled
    std::optional<bool> fromDateEnabled;      // QZTFromDateEnabled
    std::optional<QDateTime> fromDate;        // QZTFromDate, written only
    std::optional<QDateTime> fromTime;        // QZTFromTime, written only
    std::optional<bool> toDateEnabled;        // QZTToDateEnabled
    std::optional<QDateTime> toDate;          // QZTToDate
    std::optional<QDateTime> toTime;          // QZTToTime
    std::optional<QString> deliveryStatus;    // QZTDeliveryStatus
    std::optional<QString> sortOrder;         // QZTSortOrder

    // What the window's controls say at close. `now` dates the From time picker's value.
    static SavedSearch fromCriteria(const SearchCriteria &criteria, const QString &sortOrder,
                                    const QDateTime &now);
    // Applies the values that exist, as LoadSearchSettings does: the From time of day becomes the
    // time of `now`, and a missing sort order, or one the window never sets, the initial one.
    void applyTo(SearchCriteria &criteria, QString &sortOrder, const QDateTime &now) const;
};

// The per-user store of the viewer's saved criteria and column widths (QSettings, user scope,
// "Tavisk"/"RORuzureru", group "GridColWidths"). Yes/no values are 1 or 0, date-times 8-byte OLE
// Automation dates.
class SearchSettingsStore
{
public:
    SearchSettingsStore() = default;

    // Widths by column index, for the columns that have a value.
    std::map<int, int> LoadGridColumnWidths(int columnCount) const;
    void SaveGridColumnWidths(const std::vector<int> &widths);

    SavedSearch load() const;
    void save(const SavedSearch &values);

    static QString columnWidthName(int column);
};
