#include "viewer/search/SearchSettingsStore.h"

#include "shared/text/OleDate.h"
#include "shared/text/WallClock.h"
#include "viewer/search/TitleClickSortOrder.h"

#include <QSettings>

namespace {

constexpr const char *Organisation = "Tavisk";
constexpr const char *Application = "RORuzureru";
constexpr const char *WidthsGroup = "GridColWidths";

QSettings userSettings()
{
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, QLatin1String(Organisation),
                     QLatin1String(Application));
}

std::optional<QString> readText(const QSettings &settings, const char *name)
{
    const QVariant value = settings.value(QLatin1String(name));
    if (!value.isValid())
        return std::nullopt;
    return value.toString();
}

std::optional<bool> readYesNo(const QSettings &settings, const char *name)
{
    const QVariant value = settings.value(QLatin1String(name));
    if (!value.isValid())
        return std::nullopt;
    return value.toInt() != 0;
}

std::optional<QDateTime> readDateTime(const QSettings &settings, const char *name)
{
    const QVariant value = settings.value(QLatin1String(name));
    if (!value.isValid())
        return std::nullopt;
    return OleDate::fromBytes(value.toByteArray());
}

template <typename T, typename Write>
void writeIfSet(QSettings &settings, const char *name, const std::optional<T> &value, Write toStored)
{
    if (value)
        settings.setValue(QLatin1String(name), toStored(*value));
}

} // namespace

QString SearchSettingsStore::columnWidthName(int column)
{
    return QStringLiteral("ContentDBGridCol") + QString::number(column);
}

std::map<int, int> SearchSettingsStore::LoadGridColumnWidths(int columnCount) const
{
    QSettings settings = userSettings();
    settings.beginGroup(QLatin1String(WidthsGroup));
    std::map<int, int> widths;
    for (int column = 0; column < columnCount; ++column) {
        bool ok = false;
        const int width = settings.value(columnWidthName(column)).toInt(&ok);
        if (ok)
            widths[column] = width;
    }
    return widths;
}

void SearchSettingsStore::SaveGridColumnWidths(const std::vector<int> &widths)
{
    QSettings settings = userSettings();
    settings.beginGroup(QLatin1String(WidthsGroup));
    for (std::size_t column = 0; column < widths.size(); ++column)
        settings.setValue(columnWidthName(int(column)), widths[column]);
}

SavedSearch SearchSettingsStore::load() const
{
    const QSettings settings = userSettings();
    SavedSearch saved;
    saved.nameFilter = readText(settings, "QZTNameFilter");
    saved.nameFilterEnabled = readYesNo(settings, "QZTNameFilterEnabled");
    saved.mailBoxFilter = readText(settings, "QZTMailBoxFilter");
    saved.mailBoxFilterEnabled = readYesNo(settings, "QZTMailBoxFilterEnabled");
    saved.fromDateEnabled = readYesNo(settings, "QZTFromDateEnabled");
    saved.toDateEnabled = readYesNo(settings, "QZTToDateEnabled");
    saved.toDate = readDateTime(settings, "QZTToDate");
    saved.toTime = readDateTime(settings, "QZTToTime");
    saved.deliveryStatus = readText(settings, "QZTDeliveryStatus");
    saved.sortOrder = readText(settings, "QZTSortOrder");
    return saved;
}

void SearchSettingsStore::save(const SavedSearch &values)
{
    QSettings settings = userSettings();
    const auto text = [](const QString &v) { return v; };
    const auto yesNo = [](bool v) { return v ? 1 : 0; };
    const auto oleDate = [](const QDateTime &v) { return OleDate::toBytes(v); };
    writeIfSet(settings, "QZTNameFilter", values.nameFilter, text);
    writeIfSet(settings, "QZTNameFilterEnabled", values.nameFilterEnabled, yesNo);
    writeIfSet(settings, "QZTMailBoxFilter", values.mailBoxFilter, text);
    writeIfSet(settings, "QZTMailBoxFilterEnabled", values.mailBoxFilterEnabled, yesNo);
    writeIfSet(settings, "QZTFromDateEnabled", values.fromDateEnabled, yesNo);
    writeIfSet(settings, "QZTFromDate", values.fromDate, oleDate);
    writeIfSet(settings, "QZTFromTime", values.fromTime, oleDate);
    writeIfSet(settings, "QZTToDateEnabled", values.toDateEnabled, yesNo);
    writeIfSet(settings, "QZTToDate", values.toDate, oleDate);
    writeIfSet(settings, "QZTToTime", values.toTime, oleDate);
    writeIfSet(settings, "QZTDeliveryStatus", values.deliveryStatus, text);
    writeIfSet(settings, "QZTSortOrder", values.sortOrder, text);
}

SavedSearch SavedSearch::fromCriteria(const SearchCriteria &criteria, const QString &sortOrder,
                                      const QDateTime &now)
{
    SavedSearch saved;
    saved.nameFilter = criteria.nameFilterText;
    saved.nameFilterEnabled = criteria.nameFilterChecked;
    saved.mailBoxFilter = criteria.mailboxText;
    saved.mailBoxFilterEnabled = criteria.mailboxChecked;
    saved.fromDateEnabled = criteria.fromDateChecked;
    saved.fromDate = WallClock::of(criteria.fromDate);
    saved.fromTime = WallClock::of(now.date(), criteria.fromTime);
    saved.toDateEnabled = criteria.toDateChecked;
    saved.toDate = WallClock::of(criteria.toDate);
    saved.toTime = WallClock::of(now.date(), criteria.toTime);
    saved.deliveryStatus = statusFilterText(criteria.statusIndex);
    saved.sortOrder = sortOrder;
    return saved;
}

void SavedSearch::applyTo(SearchCriteria &criteria, QString &sortOrder, const QDateTime &now) const
{
    if (nameFilter)
        criteria.nameFilterText = *nameFilter;
    if (nameFilterEnabled)
        criteria.nameFilterChecked = *nameFilterEnabled;
    if (mailBoxFilter)
        criteria.mailboxText = *mailBoxFilter;
    if (mailBoxFilterEnabled)
        criteria.mailboxChecked = *mailBoxFilterEnabled;
    if (fromDateEnabled)
        criteria.fromDateChecked = *fromDateEnabled;
    // With the store present the From instant defaults to the same moment one day earlier.
    criteria.fromTime = now.time();
    if (toDateEnabled)
        criteria.toDateChecked = *toDateEnabled;
    if (toDate)
        criteria.toDate = toDate->date();
    if (toTime)
        criteria.toTime = toTime->time();
    if (deliveryStatus)
        criteria.statusIndex = statusFilterIndexOf(*deliveryStatus);
    sortOrder = this->sortOrder && isWindowSortOrder(*this->sortOrder) ? *this->sortOrder
                                                                        : QString::fromLatin1(InitialSortOrder);
}
