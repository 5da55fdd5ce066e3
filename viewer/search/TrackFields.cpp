#include "viewer/search/TrackFields.h"

namespace {

using enum TrackField;
using Kind = TrackFieldKind;

struct FieldEntry
{
    TrackFieldInfo info;
    TrackFieldSlot slot;
    bool shared = false; // a text that repeats across rows
};

constexpr std::array<FieldEntry, TrackFieldCount> Fields = {{
    {{Status, "Status", "Status"}, {Kind::Computed, 0}},
    {{PracID, "PracID", "Prac. ID"}, {Kind::Text, 0}, true},
    {{QZDeliveryTime, "QZDeliveryTime", "Delivery Time"}, {Kind::Time, 0}},
    {{MsgID, "MsgID", "Msg. ID"}, {Kind::Text, 1}},
    {{Sender, "Sender", "Sender"}, {Kind::Text, 2}, true},
    {{Filename, "Filename", "Filename"}, {Kind::Text, 3}},
    {{QZServerReceiveTime, "QZServerReceiveTime", "Server Recv. Time"}, {Kind::Time, 1}},
    {{FileType, "FileType", "File Type"}, {Kind::Text, 4}, true},
    {{LabId, "LabId", "Lab. ID"}, {Kind::Text, 5}},
    {{RequestDate, "RequestDate", "Request Date"}, {Kind::Time, 2}},
    {{AddresseeDoc, "AddresseeDoc", "Addressee Doc"}, {Kind::Text, 6}, true},
    {{RequestingDoc, "RequestingDoc", "Requesting Doc"}, {Kind::Text, 7}, true},
    {{Patient, "Patient", "Patient"}, {Kind::Text, 8}},
    {{PatientGiven, "PatientGiven", "Patient Given"}, {Kind::Text, 9}},
    {{PatientAddress, "PatientAddress", "Patient Address"}, {Kind::Text, 10}},
    {{PatientDOB, "PatientDOB", "Patient DOB"}, {Kind::Time, 3}},
    {{DocsPTRef, "DocsPTRef", "Docs Pat. Ref"}, {Kind::Text, 11}},
    {{Test, "Test", "Test"}, {Kind::Text, 12}, true},
    {{CollectTime, "CollectTime", "Collect Time"}, {Kind::Text, 13}},
    {{ReportTime, "ReportTime", "Report Time"}, {Kind::Text, 14}},
    {{PatientName, "PatientName", "Patient Name"}, {Kind::Computed, 1}},
    {{ReadStatus, "ReadStatus", "ReadStatus"}, {Kind::Int, 0}},
    {{RunNumber, "RunNumber", "Run Number"}, {Kind::Text, 15}, true},
    {{StatusTime, "StatusTime", "StatusTime"}, {Kind::Time, 4}},
}};

const std::array<GridColumn, 14> Columns = {{
    {Status, "Status", 78},
    {PracID, "Prac. ID", 59},
    {Filename, "Filename", 52},
    {PatientName, "Patient Name", 128},
    {PatientDOB, "DOB", 82},
    {LabId, "Lab Ref", 62},
    {Test, "Test Names", 293},
    {RequestDate, "Request Date", 68},
    {AddresseeDoc, "Addressee", 158},
    {RequestingDoc, "Requestor", 0},
    {FileType, "File Type", 0},
    {QZServerReceiveTime, "Server Recv. Time", 0},
    {QZDeliveryTime, "Delivery Time", 0},
    {RunNumber, "Run Number", 0},
}};

const FieldEntry &entryOf(TrackField field)
{
    return Fields[std::size_t(field)];
}

std::optional<QString> textOf(const TrackRowStore::Row &row, TrackField field)
{
    const std::optional<QByteArrayView> &text = row.texts[std::size_t(entryOf(field).slot.slot)];
    if (!text)
        return std::nullopt;
    return QString::fromUtf8(*text);
}

// Wall-clock values: the UTC spec keeps every formatting and comparison free of time-zone work.
std::optional<QDateTime> timeOf(const TrackRowStore::Row &row, TrackField field)
{
    const TrackRowStore::WallTime &wall = row.times[std::size_t(entryOf(field).slot.slot)];
    if (!wall)
        return std::nullopt;
    const qint64 day = TrackRowStore::dayOf(*wall);
    return QDateTime(QDate::fromJulianDay(day),
                     QTime::fromMSecsSinceStartOfDay(int(*wall - day * TrackRowStore::MsecsPerDay)), Qt::UTC);
}

} // namespace

const TrackFieldInfo &trackFieldInfo(TrackField field)
{
    return entryOf(field).info;
}

std::optional<TrackField> trackFieldNamed(const QString &name)
{
    for (const FieldEntry &entry : Fields) {
        if (name.compare(QLatin1String(entry.info.name), Qt::CaseInsensitive) == 0)
            return entry.info.field;
    }
    return std::nullopt;
}

TrackFieldSlot trackFieldSlot(TrackField field)
{
    return entryOf(field).slot;
}

std::uint32_t sharedTrackTextSlots()
{
    std::uint32_t mask = 0;
    for (const FieldEntry &entry : Fields) {
        if (entry.shared)
            mask |= 1u << entry.slot.slot;
    }
    return mask;
}

const std::array<GridColumn, 14> &gridColumns()
{
    return Columns;
}

namespace TrackRowText {

TrackRowFacts facts(const TrackRowStore::Row &row)
{
    TrackRowFacts facts;
    facts.deliveryTime = timeOf(row, QZDeliveryTime);
    facts.statusTime = timeOf(row, StatusTime);
    facts.receiveTime = timeOf(row, QZServerReceiveTime);
    if (row.readStatus)
        facts.readStatus = *row.readStatus;
    facts.patient = textOf(row, Patient);
    facts.patientGiven = textOf(row, PatientGiven);
    return facts;
}

QVariant value(const TrackRowStore::Row &row, TrackField field)
{
    switch (entryOf(field).slot.kind) {
    case Kind::Computed:
        return displayText(row, field);
    case Kind::Text: {
        const std::optional<QString> text = textOf(row, field);
        return text ? QVariant(*text) : QVariant();
    }
    case Kind::Time: {
        const std::optional<QDateTime> time = timeOf(row, field);
        return time ? QVariant(*time) : QVariant();
    }
    case Kind::Int:
        return row.readStatus ? QVariant(*row.readStatus) : QVariant();
    }
    return {};
}

QString displayText(const TrackRowStore::Row &row, TrackField field)
{
    switch (field) {
    case Status:
        return TrackRowPresentation::statusText(facts(row));
    case PatientName:
        return TrackRowPresentation::patientName(facts(row));
    case QZDeliveryTime: {
        const auto shown = TrackRowPresentation::shownDeliveryTime(facts(row));
        return shown ? TrackRowPresentation::gridDateTimeText(*shown) : QString();
    }
    default:
        break;
    }
    switch (entryOf(field).slot.kind) {
    case Kind::Text:
        return textOf(row, field).value_or(QString());
    case Kind::Time: {
        const std::optional<QDateTime> time = timeOf(row, field);
        return time ? TrackRowPresentation::gridDateTimeText(*time) : QString();
    }
    case Kind::Int:
        return row.readStatus ? QString::number(*row.readStatus) : QString();
    case Kind::Computed:
        break;
    }
    return {};
}

} // namespace TrackRowText
