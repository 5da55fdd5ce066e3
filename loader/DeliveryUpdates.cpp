#include "loader/FieldValues.h"
#include "loader/LogFormat.h"
#include "loader/OVTrackSvcForm.h"

#include "shared/db/DbError.h"

namespace {

// The log texts of this file, each whole so that it can be found.
// clang-format off
const QString ReceiptStart = QStringLiteral("UpdateDeliveryTime(MsgID: %s; Sender: %s; PracID: %s; QZDeliveryTime: %s)");
const QString ReceiptDone = QStringLiteral("UpdateDeliveryTime(MsgId: %s; Sender %s, PracId: %s; QZDeliveryTime: %s) = %d (rows updated).");
const QString ReceiptFailed = QStringLiteral("Exception occurred for UpdateDeliveryTime(MsgId: %s; PracId: %s; QZDeliveryTime: %s)");
const QString RowsToUpdate = QStringLiteral("Rows to Update for MsgID %s: %d)");
const QString MessageRowData = QStringLiteral("Row Data ((MsgId: %s; Sender: %s; PracId: %s; QZDeliveryTime: %s; Filename %s; StatusTime: %s, ReadStatus %u)");
const QString FileRowData = QStringLiteral("Row Data ((MsgId: %s; Sender %s; PracId: %s; QZDeliveryTime: %s)");
const QString StatusStart = QStringLiteral("updateReadStatus(MsgID: %s; Sender %s; PracID: %s; Filename: %s; ReadStatus %u  )");
const QString StatusDone = QStringLiteral("updateReadStatus(MsgId: %s; Sender: %s; PracId: %s; ReadStatus: %u) = %d (rows updated).");
const QString StatusFailed = QStringLiteral("Exception occurred for updateReadStatus(MsgId: %s; PracId: %s; ReadStatus: %u)");
// clang-format on

// "%u" of a status code, as the log has always shown it.
QString unsignedText(qint64 value)
{
    return QString::number(static_cast<quint32>(value));
}

} // namespace

void TsvcOVTrack::defineReceiptStatements()
{
    ReceiptUpdate.setLines({
        QStringLiteral("update Tracking"),
        QStringLiteral("set QZDeliveryTime = :QDeliverytm, PracID = :QPracid, Sender= :QSender"),
        QStringLiteral("where MsgId = :QMsgId"),
        QStringLiteral("and (QZDeliveryTime is null or "),
        QStringLiteral("Sender is null or"),
        QStringLiteral("Sender = 'Unknown Sender')"),
    });
    UpdateReadStatusQuery.setLines({
        QStringLiteral("update Tracking"),
        QStringLiteral(
            "set ReadStatus = :QReadStatus, StatusTime = :QStatusTime, QZDeliveryTime= :QDeliveryTm, "
            "Sender= :QSender"),
        QStringLiteral("where MsgId = :QMsgId"),
        QStringLiteral("and (FileName =:QFilename or Filename is Null)"),
    });
    qryErrorMsgRowsToUpdate.setLines({
        QStringLiteral("select MsgId, Sender, PracId, QZDeliveryTime, Filename, StatusTime, ReadStatus"),
        QStringLiteral("from Tracking"),
        QStringLiteral("where MsgId = :QMsgId"),
    });
    qryErrorStatusRowsToUpdate.setLines({
        QStringLiteral("select MsgId, PracId, QZDeliveryTime, ReadStatus"),
        QStringLiteral("from Tracking"),
        QStringLiteral("where MsgId = :QMsgId"),
        QStringLiteral("and Filename = :QFilename"),
    });
}

int TsvcOVTrack::UpdateDeliveryTime(const QString &msgId, const QString &pracId,
                                    const DateField &deliveryTime, const QString &sender)
{
    const bool tracing = logs(8);
    const QString when = tracing ? dateLogText(deliveryTime) : QString();
    if (tracing)
        WriteLog(8, fillLogText(ReceiptStart, {msgId, sender, pracId, when}));
    int result = -1;
    try {
        ReceiptUpdate.bind(QStringLiteral("QDeliverytm"), ParamType::DateTime, dateBindValue(deliveryTime));
        ReceiptUpdate.bind(QStringLiteral("QMsgId"), ParamType::Text, msgId);
        ReceiptUpdate.bind(QStringLiteral("QPracid"), ParamType::Text, pracId);
        ReceiptUpdate.bind(QStringLiteral("QSender"), ParamType::Text, sender);
        result = ReceiptUpdate.execute();
        if (tracing)
            WriteLog(8, fillLogText(ReceiptDone, {msgId, sender, pracId, when, QString::number(result)}));
        if (result == 0)
            result = messageRowCount(msgId);
        return result;
    } catch (const std::exception &e) {
        WriteLog(2, QStringLiteral("Exception occurred in UpdateDeliveryTime with Msg: ") + errorText(e));
        if (tracing)
            WriteLog(8, fillLogText(ReceiptFailed, {msgId, pracId, when}));
        throw;
    }
}

int TsvcOVTrack::messageRowCount(const QString &msgId)
{
    qryErrorMsgRowsToUpdate.bind(QStringLiteral("QMsgId"), ParamType::Text, msgId);
    const DbResult rows = qryErrorMsgRowsToUpdate.open();
    const int count = rows.rowCount();
    if (logs(8)) {
        WriteLog(8, fillLogText(RowsToUpdate, {msgId, QString::number(count)}));
        for (int row = 0; row < count; ++row) {
            WriteLog(8,
                     fillLogText(
                         MessageRowData,
                         {rows.text(row, QStringLiteral("MsgId")), rows.text(row, QStringLiteral("Sender")),
                          rows.text(row, QStringLiteral("PracId")),
                          dateLogText(rows.dateTime(row, QStringLiteral("QZDeliveryTime"))),
                          rows.text(row, QStringLiteral("Filename")),
                          dateLogText(rows.dateTime(row, QStringLiteral("StatusTime"))),
                          unsignedText(rows.integer(row, QStringLiteral("ReadStatus")).value_or(0))}));
        }
    }
    return count;
}

int TsvcOVTrack::updateReadStatus(const QString &msgId, const QString &sender, const QString &pracId,
                                  const QString &fileName, int statusCode, const DateField &deliveryTime,
                                  const std::optional<QDateTime> &statusTime)
{
    const bool tracing = logs(8);
    if (tracing)
        WriteLog(8, fillLogText(StatusStart, {msgId, sender, pracId, fileName, unsignedText(statusCode)}));
    int result = -1;
    try {
        UpdateReadStatusQuery.bind(QStringLiteral("QFilename"), ParamType::Text, fileName);
        UpdateReadStatusQuery.bind(QStringLiteral("QMsgId"), ParamType::Text, msgId);
        UpdateReadStatusQuery.bind(QStringLiteral("QReadStatus"), ParamType::SmallInt, statusCode);
        UpdateReadStatusQuery.bind(QStringLiteral("QSender"), ParamType::Text, sender);
        // The marker means "no delivery time": the rows get NULL.
        UpdateReadStatusQuery.bind(QStringLiteral("QDeliveryTm"), ParamType::DateTime,
                                   deliveryTime.isUnreadable() ? QVariant() : dateBindValue(deliveryTime));
        UpdateReadStatusQuery.bind(QStringLiteral("QStatusTime"), ParamType::DateTime,
                                   statusTime ? QVariant(*statusTime) : QVariant());
        result = UpdateReadStatusQuery.execute();
        if (tracing)
            WriteLog(8, fillLogText(StatusDone, {msgId, sender, pracId, unsignedText(statusCode),
                                                 QString::number(result)}));
        if (result == 0)
            result = fileRowCount(msgId, fileName, sender);
        return result;
    } catch (const std::exception &e) {
        WriteLog(2, QStringLiteral("Exception occurred in updateReadStatus with Msg: ") + errorText(e));
        if (tracing)
            WriteLog(8, fillLogText(StatusFailed, {msgId, pracId, unsignedText(statusCode)}));
        throw;
    }
}

int TsvcOVTrack::fileRowCount(const QString &msgId, const QString &fileName, const QString &sender)
{
    qryErrorStatusRowsToUpdate.bind(QStringLiteral("QMsgId"), ParamType::Text, msgId);
    qryErrorStatusRowsToUpdate.bind(QStringLiteral("QFilename"), ParamType::Text, fileName);
    const DbResult rows = qryErrorStatusRowsToUpdate.open();
    const int count = rows.rowCount();
    if (logs(8)) {
        WriteLog(8, fillLogText(RowsToUpdate, {msgId, QString::number(count)}));
        // The count's statement has no sender: the line shows the notification's.
        for (int row = 0; row < count; ++row) {
            WriteLog(8, fillLogText(FileRowData,
                                    {rows.text(row, QStringLiteral("MsgId")), sender,
                                     rows.text(row, QStringLiteral("PracId")),
                                     dateLogText(rows.dateTime(row, QStringLiteral("QZDeliveryTime")))}));
        }
    }
    return count;
}

LowDeliveryTime TsvcOVTrack::GetLowDeliveryTime(const QString &msgId)
{
    LowDeliveryTime result;
    try {
        const DbResult rows = LowDeliveryLookup.open(msgId);
        if (!rows.isEmpty()) {
            result.deliveryTime = rows.dateTime(0, QStringLiteral("QZDeliveryTime"));
            result.receiveTime = rows.dateTime(0, QStringLiteral("QZServerReceiveTime"));
        }
    } catch (const std::exception &) {
        WriteLog(4, fillLogText(QStringLiteral("Exception in GetLowDeliveryTime(MsgId: %s)"), {msgId}));
    }
    return result;
}
