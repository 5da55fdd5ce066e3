#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QVariant>

#include <optional>
#include <span>

// The two tables both programs share, and how a message's delivery state is encoded in ordinary
// columns: sentinel dates in QZDeliveryTime and small codes in ReadStatus.

namespace TrackingSchema {

inline constexpr const char *TrackingTable = "Tracking";
inline constexpr const char *ContentTable = "HM_CONTENT";

enum class ColumnType
{
    VarChar,
    DateTime,
    Int
};

struct Column
{
    const char *name;
    ColumnType type;
    int width; // declared varchar width; 0 for other types
};

// The 22 columns of Tracking in table order, with the widths of the viewer's create statement.
std::span<const Column> trackingColumns();

// The width the loader's upgrade gives a text column (FileType is 50 there, 240 in the create).
int upgradedWidth(const Column &column);

inline constexpr int MessageIdWidth = 100;

} // namespace TrackingSchema

// What QZDeliveryTime says about a message.
enum class DeliveryState
{
    Waiting,       // NULL
    Undeliverable, // 1900-01-01
    Managed,       // 1900-01-27
    Emailed,       // 2001-01-01
    DecryptFailed, // 1905-06-07 or 1905-07-06
    Delivered      // any other value
};

namespace Sentinel {
inline const QDate Undeliverable{1900, 1, 1};
inline const QDate Managed{1900, 1, 27};
inline const QDate Emailed{2001, 1, 1};
inline const QDate DecryptFailedDayFirst{1905, 6, 7};
inline const QDate DecryptFailedMonthFirst{1905, 7, 6}; // also written for status code 99
} // namespace Sentinel

// A sentinel matches only at midnight: the whole date-time is compared.
DeliveryState deliveryStateOf(const std::optional<QDateTime> &deliveryTime);
bool isSentinel(const QDateTime &value, QDate sentinel);
QDateTime sentinelDateTime(QDate sentinel);

// ReadStatus codes reported by status notifications.
struct ReadStatusCode
{
    int code;
    const char *word;       // shown in the viewer's status text
    const char *filterName; // StatusFilter entry, or nullptr when none
};

std::span<const ReadStatusCode> readStatusCodes();
// The viewer's word for a ReadStatus value; empty for NULL and unknown codes.
QString readStatusWord(const QVariant &readStatus);

// StatusOrder: 0 undeliverable, 1 waiting, 2 delivered at the receive time, 3 everything else.
int statusOrderOf(const std::optional<QDateTime> &deliveryTime, const std::optional<QDateTime> &receiveTime);
