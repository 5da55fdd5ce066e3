#pragma once

#include "viewer/search/TrackRowPresentation.h"
#include "viewer/search/TrackRowStore.h"

#include <QString>
#include <QVariant>

#include <array>
#include <optional>

// The fields of TrackQuery in order: the stored columns and the two computed ones.
enum class TrackField
{
    Status,
    PracID,
    QZDeliveryTime,
    MsgID,
    Sender,
    Filename,
    QZServerReceiveTime,
    FileType,
    LabId,
    RequestDate,
    AddresseeDoc,
    RequestingDoc,
    Patient,
    PatientGiven,
    PatientAddress,
    PatientDOB,
    DocsPTRef,
    Test,
    CollectTime,
    ReportTime,
    PatientName,
    ReadStatus,
    RunNumber,
    StatusTime,
};
inline constexpr int TrackFieldCount = 24;

struct TrackFieldInfo
{
    TrackField field;
    const char *name;
    const char *label;
};
const TrackFieldInfo &trackFieldInfo(TrackField field);
// The field with this name, compared without regard to case.
std::optional<TrackField> trackFieldNamed(const QString &name);

// Where a field lives in a stored row.
enum class TrackFieldKind
{
    Computed,
    Text,
    Time,
    Int
};
struct TrackFieldSlot
{
    TrackFieldKind kind;
    int slot; // index into the row's texts or times
};
TrackFieldSlot trackFieldSlot(TrackField field);
// The text slots whose values repeat across rows (practice, sender, file type, doctors, tests, run).
std::uint32_t sharedTrackTextSlots();

struct GridColumn
{
    TrackField field;
    const char *title;
    int width; // pixels; 0 for the grid's default width
};
// The 14 columns of ContentDBGrid, left to right.
const std::array<GridColumn, 14> &gridColumns();

// What a stored row shows: computed status and name, shown delivery time, dates as "dd/mm/yyyy".
namespace TrackRowText {

// A stored value: QString, QDateTime or int, or a null QVariant for SQL NULL. Computed fields give
// their text.
QVariant value(const TrackRowStore::Row &row, TrackField field);
QString displayText(const TrackRowStore::Row &row, TrackField field);
TrackRowFacts facts(const TrackRowStore::Row &row);

} // namespace TrackRowText
