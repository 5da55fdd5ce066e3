#pragma once

#include <QDateTime>
#include <QString>

#include <optional>
#include <variant>

// The unreadable-date marker: what the date rules give for a text they cannot read. It travels in
// date fields like a value and is tested for by value.
inline constexpr int UnreadableDate = -999999;

// A date field of a tracking record: absent, a date-time, or the unreadable-date marker.
struct DateField
{
    std::variant<std::monostate, QDateTime, int> value;

    DateField() = default;
    DateField(const QDateTime &dateTime) : value(dateTime) {}
    static DateField unreadable() { DateField f; f.value = UnreadableDate; return f; }
    static DateField from(const std::optional<QDateTime> &dateTime)
    {
        return dateTime ? DateField(*dateTime) : DateField();
    }

    bool isAbsent() const { return std::holds_alternative<std::monostate>(value); }
    bool isUnreadable() const { return std::holds_alternative<int>(value); }
    bool isDateTime() const { return std::holds_alternative<QDateTime>(value); }
    QDateTime dateTime() const { return isDateTime() ? std::get<QDateTime>(value) : QDateTime(); }
};

// The twenty values the import builds from one tracking line; absent fields bind SQL NULL.
struct TrackingRecord
{
    std::optional<QString> MsgID;
    std::optional<QString> Sender;
    std::optional<QString> Filename;
    DateField QZServerReceiveTime;
    DateField QZDeliveryTime;
    std::optional<QString> PracID;
    std::optional<QString> FileType;
    std::optional<QString> LabId;
    DateField RequestDate;
    std::optional<QString> AddresseeDoc;
    std::optional<QString> RequestingDoc;
    std::optional<QString> Patient;
    std::optional<QString> PatientGiven;
    std::optional<QString> PatientAddress;
    DateField PatientDOB;
    std::optional<QString> DocsPTRef;
    std::optional<QString> Test;
    DateField CollectTime;
    DateField ReportTime;
    std::optional<QString> RunNumber;
};

// The stored values of the first Tracking row of a message, as the import needs them.
struct ExistingTrackingRow
{
    bool Found = false;
    QString MsgID;
    std::optional<QString> Sender;
    std::optional<QString> Filename;
    std::optional<QDateTime> QZServerReceiveTime;
    std::optional<QString> PracID;
    std::optional<QString> FileType;
    std::optional<int> ReadStatus;
    std::optional<QString> RunNumber;
};

// The earliest delivery time of a message and the receive time of the row that holds it.
struct LowDeliveryTime
{
    std::optional<QDateTime> deliveryTime;
    std::optional<QDateTime> receiveTime;
};
