#include "loader/FieldValues.h"
#include "loader/OVTrackSvcForm.h"

#include "shared/text/DateTimeText.h"
#include "shared/db/DbError.h"

namespace {

const QString CrLf = QStringLiteral("\r\n");

// An empty text stays an empty text: only an absent value binds NULL.
QVariant textValue(const std::optional<QString> &value)
{
    if (!value)
        return {};
    return value->isNull() ? QVariant(QStringLiteral("")) : QVariant(*value);
}

// The time texts are text columns; their date-times are stored in a fixed sortable form.
QVariant timeTextValue(const DateField &field)
{
    if (field.isDateTime())
        return sortableDateTimeText(field.dateTime(), false);
    if (field.isUnreadable())
        return QString::number(UnreadableDate);
    return {};
}

QString dumpText(const std::optional<QString> &value)
{
    return value.value_or(QString());
}

QString dumpText(const DateField &field)
{
    return dateLogText(field);
}

void bindRecord(DbStatement &statement, const TrackingRecord &r, bool withDeliveryTime)
{
    statement.bind(QStringLiteral("MsgID"), ParamType::Text, textValue(r.MsgID));
    statement.bind(QStringLiteral("Sender"), ParamType::Text, textValue(r.Sender));
    statement.bind(QStringLiteral("Filename"), ParamType::Text, textValue(r.Filename));
    statement.bind(QStringLiteral("QZServerReceiveTime"), ParamType::DateTime,
                   dateBindValue(r.QZServerReceiveTime));
    if (withDeliveryTime)
        statement.bind(QStringLiteral("QZDeliveryTime"), ParamType::DateTime,
                       dateBindValue(r.QZDeliveryTime));
    statement.bind(QStringLiteral("PracID"), ParamType::Text, textValue(r.PracID));
    statement.bind(QStringLiteral("FileType"), ParamType::Text, textValue(r.FileType));
    statement.bind(QStringLiteral("LabId"), ParamType::Text, textValue(r.LabId));
    statement.bind(QStringLiteral("RequestDate"), ParamType::DateTime, dateBindValue(r.RequestDate));
    statement.bind(QStringLiteral("AddresseeDoc"), ParamType::Text, textValue(r.AddresseeDoc));
    statement.bind(QStringLiteral("RequestingDoc"), ParamType::Text, textValue(r.RequestingDoc));
    statement.bind(QStringLiteral("Patient"), ParamType::Text, textValue(r.Patient));
    statement.bind(QStringLiteral("PatientGiven"), ParamType::Text, textValue(r.PatientGiven));
    statement.bind(QStringLiteral("PatientAddress"), ParamType::Text, textValue(r.PatientAddress));
    statement.bind(QStringLiteral("PatientDOB"), ParamType::DateTime, dateBindValue(r.PatientDOB));
    statement.bind(QStringLiteral("DocsPTRef"), ParamType::Text, textValue(r.DocsPTRef));
    statement.bind(QStringLiteral("Test"), ParamType::Text, textValue(r.Test));
    statement.bind(QStringLiteral("CollectTime"), ParamType::Text, timeTextValue(r.CollectTime));
    statement.bind(QStringLiteral("ReportTime"), ParamType::Text, timeTextValue(r.ReportTime));
    statement.bind(QStringLiteral("RunNumber"), ParamType::Text, textValue(r.RunNumber));
}

QString parameterDump(const TrackingRecord &r)
{
    const auto pair = [](const char *label, const QString &value) {
        return QLatin1String(label) + u'"' + value + u'"';
    };
    return pair("Params were: MsgId=", dumpText(r.MsgID)) + pair("Sender=", dumpText(r.Sender)) +
           pair("FileName=", dumpText(r.Filename)) +
           pair("QZServerReceiveTime=", dumpText(r.QZServerReceiveTime)) +
           pair("PracId=", dumpText(r.PracID)) + pair("FileType=", dumpText(r.FileType)) +
           pair("LabId=", dumpText(r.LabId)) + pair("RequestDate=", dumpText(r.RequestDate)) +
           pair("AddresseeDoc=", dumpText(r.AddresseeDoc)) +
           pair("RequestingDoc=", dumpText(r.RequestingDoc)) + pair("Patient=", dumpText(r.Patient)) +
           pair("PatientGiven=", dumpText(r.PatientGiven)) +
           pair("PatientAddress=", dumpText(r.PatientAddress)) + pair("PatientDOB=", dumpText(r.PatientDOB)) +
           pair("DocsPTRef=", dumpText(r.DocsPTRef)) + pair("Test=", dumpText(r.Test)) +
           pair("CollectTime=", dumpText(r.CollectTime)) + pair("ReportTime=", dumpText(r.ReportTime)) +
           pair("RunNumber=", dumpText(r.RunNumber));
}

} // namespace

void TsvcOVTrack::defineWriteStatements()
{
    qryInsertTracking.setLines({
        QStringLiteral("INSERT INTO Tracking ("),
        QStringLiteral(
            "MsgID, Sender, Filename, QZServerReceiveTime, QZDeliveryTime, PracID, FileType, LabId, "
            "RequestDate, AddresseeDoc, RequestingDoc, Patient, PatientGiven, PatientAddress, "
            "PatientDOB, DocsPTRef, Test, CollectTime, ReportTime, RunNumber)"),
        QStringLiteral("VALUES ("),
        QStringLiteral(
            ":MsgID, :Sender, :Filename, :QZServerReceiveTime, :QZDeliveryTime, :PracID, :FileType, "
            ":LabId, :RequestDate, :AddresseeDoc, :RequestingDoc, :Patient, :PatientGiven, "
            ":PatientAddress, :PatientDOB, :DocsPTRef, :Test, :CollectTime, :ReportTime, :RunNumber)"),
    });
    qryUpdateTracking.setLines({
        QStringLiteral("Update Tracking "),
        QStringLiteral("set Sender=  :Sender,"),
        QStringLiteral("Filename=  :Filename,"),
        QStringLiteral("QZServerReceiveTime=  :QZServerReceiveTime,"),
        QStringLiteral("PracID=  :PracID,"),
        QStringLiteral("FileType=  :FileType,"),
        QStringLiteral("LabId=  :LabId,"),
        QStringLiteral("RequestDate=  :RequestDate,"),
        QStringLiteral("AddresseeDoc=  :AddresseeDoc,"),
        QStringLiteral("RequestingDoc=  :RequestingDoc,"),
        QStringLiteral("Patient=  :Patient,"),
        QStringLiteral("PatientGiven=  :PatientGiven,"),
        QStringLiteral("PatientAddress=  :PatientAddress,"),
        QStringLiteral("PatientDOB=  :PatientDOB,"),
        QStringLiteral("DocsPTRef=  :DocsPTRef,"),
        QStringLiteral("Test=  :Test,"),
        QStringLiteral("CollectTime=  :CollectTime,"),
        QStringLiteral("ReportTime=  :ReportTime,"),
        QStringLiteral("RunNumber=  :RunNumber"),
        QStringLiteral("where  MsgID= :MsgID"),
    });
}

bool TsvcOVTrack::InsertTrackingData(const TrackingRecord &record)
{
    return writeTrackingRecord(qryInsertTracking, QStringLiteral("InsertTrackingData"), record);
}

bool TsvcOVTrack::UpdateTrackingData(const TrackingRecord &record)
{
    return writeTrackingRecord(qryUpdateTracking, QStringLiteral("UpdateTrackingData"), record);
}

bool TsvcOVTrack::writeTrackingRecord(DbStatement &statement, const QString &operation,
                                      const TrackingRecord &record)
{
    // The texts are the insert's; the update writes the same with its own name.
    const auto say = [&operation](const QString &insertText) {
        return QString(insertText).replace(QLatin1String("InsertTrackingData"), operation);
    };
    // The trace of every record: built only when the level mask keeps it.
    const auto trace = [&](const QString &insertText) {
        if (logs(4))
            WriteLog(4, say(insertText));
    };
    const bool isInsert = &statement == &qryInsertTracking;
    bool result = false;
    trace(QStringLiteral("InsertTrackingData: BeginTrans"));
    try {
        if (!adoConn1.isOpen()) {
            WriteLog(2, say(QStringLiteral(
                            "InsertTrackingData: Database NOT connected, attempting to reconnect")));
            adoConn1.open();
        }
        adoConn1.beginTransaction();
    } catch (const std::exception &e) {
        WriteLog(
            2, say(QStringLiteral(
                   "InsertTrackingData: Unknown exception occurred before BeginTrans; Connection Error: ")) +
                   errorText(e));
        trace(QStringLiteral("InsertTrackingData: End"));
        return false;
    }

    try {
        trace(QStringLiteral("InsertTrackingData: Set Param Values"));
        statement.clearBindings();
        bindRecord(statement, record, isInsert);
        trace(QStringLiteral("InsertTrackingData: ExecSQL"));
        try {
            result = statement.execute() == 1;
        } catch (const std::exception &e) {
            WriteLog(2, say(QStringLiteral("InsertTrackingData: Error occured in ExecSQL: ")) + errorText(e));
            if (adoConn1.isOpen()) {
                // The session is sound (a lost one is closed by now): the statement itself was
                // refused, and a new session would not change that.
                adoConn1.rollback();
            } else {
                WriteLog(2, say(QStringLiteral("InsertTrackingData: disconnect & reconnect")));
                try {
                    adoConn1.open();
                } catch (const std::exception &) {
                }
            }
            if (adoConn1.isOpen()) {
                WriteLog(2, say(QStringLiteral("InsertTrackingData: ExecSQL for 2nd try: ")));
                // The first transaction has ended: the second try gets one of its own, so that the
                // commit or rollback below has something to act on.
                adoConn1.beginTransaction();
                result = statement.execute() == 1;
            } else {
                WriteLog(2, say(QStringLiteral("InsertTrackingData: Failed to reconnect .. result = False")));
                result = false;
            }
        }
        trace(QStringLiteral("InsertTrackingData: ExecSQL: Result = ") +
              (result ? QStringLiteral("True") : QStringLiteral("False")) +
              QStringLiteral(" (rows inserted)"));
        if (result) {
            trace(QStringLiteral("InsertTrackingData: CommitTrans for insert of tracking data"));
            adoConn1.commit();
        } else {
            QString transaction = QStringLiteral("Transaction was ");
            for (const QString &line : statement.text().split(CrLf))
                transaction += line + CrLf;
            WriteLog(2, transaction);
            WriteLog(2, parameterDump(record));
            trace(QStringLiteral("InsertTrackingData: RollbackTrans for insert of tracking data"));
            if (adoConn1.inTransaction())
                adoConn1.rollback();
        }
    } catch (const std::exception &e) {
        // Whatever failed, a row that was not committed must not count as written, and no
        // transaction may stay open for the statements that follow.
        const auto *dbError = dynamic_cast<const DbError *>(&e);
        if (dbError && dbError->isAccessLayerError()) {
            if (adoConn1.inTransaction())
                WriteLog(2, say(QStringLiteral(
                                "InsertTrackingData: EDatabaseError exception occurred inserting data: ")) +
                                errorText(e));
        } else {
            WriteLog(2,
                     say(QStringLiteral("InsertTrackingData: Unknown exception occurred inserting data: ")) +
                         errorText(e));
        }
        // Also after a failed commit, whose transaction the database may still hold open.
        try {
            adoConn1.rollback();
        } catch (const std::exception &) {
        }
        result = false;
    }
    trace(QStringLiteral("InsertTrackingData: End"));
    return result;
}
