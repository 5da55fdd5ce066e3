#include "viewer/search/TrackRowPresentation.h"

#include "shared/tracking/TrackingSchema.h"

namespace TrackRowPresentation {

namespace {

QString timeOrNothing(const std::optional<QDateTime> &value)
{
    return value && value->isValid() ? statusTimeText(*value) : QString();
}

QString wordAndTime(const TrackRowFacts &row, const std::optional<QDateTime> &time)
{
    return readStatusWord(row.readStatus) + u' ' + timeOrNothing(time);
}

} // namespace

QString statusTimeText(const QDateTime &value)
{
    return value.toString(QStringLiteral("dd/MM/yy HH:mm:ss"));
}

QString gridDateTimeText(const QDateTime &value)
{
    if (!value.isValid())
        return {};
    QString text = value.toString(QStringLiteral("dd/MM/yyyy"));
    if (value.time() != QTime(0, 0))
        text += value.toString(QStringLiteral(" HH:mm:ss"));
    return text;
}

QString statusText(const TrackRowFacts &row)
{
    switch (deliveryStateOf(row.deliveryTime)) {
    case DeliveryState::Waiting:
        if (row.statusTime)
            return wordAndTime(row, row.statusTime);
        // Without a receive time the text has no time to show: "Waiting " alone.
        return QStringLiteral("Waiting ") + timeOrNothing(row.receiveTime);
    case DeliveryState::Emailed:
        return QStringLiteral("Emailed ");
    case DeliveryState::DecryptFailed:
        return QStringLiteral("Decrypt FAIL");
    case DeliveryState::Managed:
        return QStringLiteral("Managed ") + timeOrNothing(row.receiveTime);
    case DeliveryState::Undeliverable:
        return QStringLiteral("Undeliverable");
    case DeliveryState::Delivered:
        break;
    }
    return wordAndTime(row, row.statusTime ? row.statusTime : row.deliveryTime);
}

QString patientName(const TrackRowFacts &row)
{
    if (!row.patient)
        return {};
    if (!row.patientGiven)
        return *row.patient;
    return *row.patient + u' ' + *row.patientGiven;
}

std::optional<QDateTime> shownDeliveryTime(const TrackRowFacts &row)
{
    switch (deliveryStateOf(row.deliveryTime)) {
    case DeliveryState::Emailed:
        return row.receiveTime;
    case DeliveryState::DecryptFailed:
        return std::nullopt;
    default:
        return row.deliveryTime;
    }
}

std::optional<RowColours> rowColours(const QString &statusText)
{
    const QString status = statusText.toLower();
    if (status == QLatin1String("undeliverable") || status.startsWith(QLatin1String("decrypt f")))
        return RowColours{QColor(255, 0, 0), QColor(Qt::white)};
    if (status.startsWith(QLatin1String("wait")))
        return RowColours{QColor(166, 202, 240), QColor(Qt::black)};
    if (status.startsWith(QLatin1String("retrans")))
        return RowColours{QColor(255, 127, 39), QColor(Qt::black)};
    if (status.startsWith(QLatin1String("hl7 re")))
        return RowColours{QColor(128, 128, 0), QColor(Qt::black)};
    return std::nullopt;
}

} // namespace TrackRowPresentation
