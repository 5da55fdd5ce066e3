#pragma once

#include <QColor>
#include <QDateTime>
#include <QString>
#include <QVariant>

#include <optional>

// The stored values of one tracking row that its shown status, patient name and delivery time
// depend on. A missing value is SQL NULL.
struct TrackRowFacts
{
    std::optional<QDateTime> deliveryTime; // QZDeliveryTime
    std::optional<QDateTime> statusTime;   // StatusTime
    std::optional<QDateTime> receiveTime;  // QZServerReceiveTime
    QVariant readStatus;                   // ReadStatus
    std::optional<QString> patient;
    std::optional<QString> patientGiven;
};

struct RowColours
{
    QColor background;
    QColor text;
    bool operator==(const RowColours &) const = default;
};

// What the result grid, the reports and the export show for a row: the values the table does not
// store, and the text of date-time cells.
namespace TrackRowPresentation {

// The delivery status in words and times (the `Status` field).
QString statusText(const TrackRowFacts &row);
// Surname first, then the given name; empty without a surname.
QString patientName(const TrackRowFacts &row);
// The "Delivery Time" cell's value: the receive time for emailed rows, nothing for decrypt failures.
std::optional<QDateTime> shownDeliveryTime(const TrackRowFacts &row);
// The colours a row's cells take from its status text; none for the normal colours.
std::optional<RowColours> rowColours(const QString &statusText);

// "dd/mm/yyyy", then a blank and the time unless it is exactly midnight.
QString gridDateTimeText(const QDateTime &value);
// Times inside status texts: "dd/mm/yy hh:nn:ss".
QString statusTimeText(const QDateTime &value);

} // namespace TrackRowPresentation
