#include "shared/tracking/TrackingSchema.h"

#include "shared/text/WallClock.h"

#include <array>

namespace TrackingSchema {

namespace {
using enum ColumnType;
constexpr std::array<Column, 22> Columns = {{
    {"MsgID", VarChar, 100},         {"Sender", VarChar, 240},
    {"Filename", VarChar, 240},      {"QZServerReceiveTime", DateTime, 0},
    {"QZDeliveryTime", DateTime, 0}, {"PracID", VarChar, 240},
    {"FileType", VarChar, 240},      {"LabId", VarChar, 240},
    {"RequestDate", DateTime, 0},    {"AddresseeDoc", VarChar, 240},
    {"RequestingDoc", VarChar, 240}, {"Patient", VarChar, 240},
    {"PatientGiven", VarChar, 240},  {"PatientAddress", VarChar, 240},
    {"PatientDOB", DateTime, 0},     {"DocsPTRef", VarChar, 240},
    {"Test", VarChar, 240},          {"CollectTime", VarChar, 240},
    {"ReportTime", VarChar, 240},    {"RunNumber", VarChar, 240},
    {"ReadStatus", Int, 0},          {"StatusTime", DateTime, 0},
}};
} // namespace

std::span<const Column> trackingColumns()
{
    return Columns;
}

int upgradedWidth(const Column &column)
{
    if (QLatin1String(column.name) == QLatin1String("FileType"))
        return 50;
    return column.width;
}

} // namespace TrackingSchema

namespace {
constexpr std::array<ReadStatusCode, 8> StatusCodes = {{
    {-1, "Queued", nullptr},
    {1, "Received", nullptr},
    {2, "Imported", "Processed"},
    {3, "HL7 Ack", "HL7 ACK"},
    {4, "Folder Moved", nullptr},
    {5, "Forwarded", nullptr},
    {6, "HL7 REJECT", "HL7 Reject"},
    {99, "Retransmitted", "Auto Resent"},
}};
} // namespace

QDateTime sentinelDateTime(QDate sentinel)
{
    return WallClock::of(sentinel);
}

bool isSentinel(const QDateTime &value, QDate sentinel)
{
    return value.date() == sentinel && value.time() == QTime(0, 0);
}

DeliveryState deliveryStateOf(const std::optional<QDateTime> &deliveryTime)
{
    if (!deliveryTime || !deliveryTime->isValid())
        return DeliveryState::Waiting;
    const QDateTime &t = *deliveryTime;
    if (isSentinel(t, Sentinel::Undeliverable))
        return DeliveryState::Undeliverable;
    if (isSentinel(t, Sentinel::Managed))
        return DeliveryState::Managed;
    if (isSentinel(t, Sentinel::Emailed))
        return DeliveryState::Emailed;
    if (isSentinel(t, Sentinel::DecryptFailedDayFirst) || isSentinel(t, Sentinel::DecryptFailedMonthFirst))
        return DeliveryState::DecryptFailed;
    return DeliveryState::Delivered;
}

std::span<const ReadStatusCode> readStatusCodes()
{
    return StatusCodes;
}

QString readStatusWord(const QVariant &readStatus)
{
    if (readStatus.isNull() || !readStatus.isValid())
        return {};
    bool ok = false;
    const int code = readStatus.toInt(&ok);
    if (!ok)
        return {};
    for (const ReadStatusCode &entry : StatusCodes) {
        if (entry.code == code)
            return QString::fromLatin1(entry.word);
    }
    return {};
}

int statusOrderOf(const std::optional<QDateTime> &deliveryTime, const std::optional<QDateTime> &receiveTime)
{
    if (!deliveryTime || !deliveryTime->isValid())
        return 1;
    if (isSentinel(*deliveryTime, Sentinel::Undeliverable))
        return 0;
    if (receiveTime && *receiveTime == *deliveryTime)
        return 2;
    return 3;
}
