#include "loader/FieldValues.h"
#include "loader/FileQuiescence.h"
#include "loader/LogFormat.h"
#include "loader/OVTrackSvcForm.h"
#include "loader/RegularFile.h"
#include "loader/TrackingLine.h"

#include "shared/db/DbError.h"
#include "shared/text/TextCodec.h"
#include "shared/text/WallClock.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

namespace {

const QString CrLf = QStringLiteral("\r\n");

// The entries a search for "*" + extension finds: like the original platform's, "*.qzd" also finds
// longer extensions that begin the same way (the import skips those), in any case.
QStringList matchingEntries(const QString &folder, const QString &extension)
{
    const QStringList all = QDir(folder).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    if (extension.isEmpty())
        return all;
    QStringList found;
    for (const QString &name : all) {
        const qsizetype dot = name.lastIndexOf(u'.');
        if (dot >= 0 && name.mid(dot).startsWith(extension, Qt::CaseInsensitive))
            found << name;
    }
    return found;
}

QString extensionOf(const QString &name)
{
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot < 0 ? QString() : name.mid(dot);
}

struct LoadedFile
{
    bool loaded = false;
    QStringList lines;
    TextEncoding encoding = TextEncoding::Utf8;
};

LoadedFile loadTrackingFile(const QString &path)
{
    LoadedFile file;
    const RegularFileRead read = readRegularFile(path, TrackingFileSizeLimit);
    if (!read.bytes)
        return file;
    DecodedText decoded = decodeServerText(*read.bytes);
    file.lines = splitTextLines(decoded.text);
    file.encoding = decoded.encoding;
    file.loaded = true;
    return file;
}

bool writeErrorsCopy(const QString &trackingDir, const QString &name, const QStringList &lines,
                     TextEncoding encoding)
{
    const QString folder = trackingDir + QStringLiteral("errors");
    if (!QFileInfo(folder).isDir() && !QDir().mkpath(folder))
        return false;
    QSaveFile copy(folder + u'/' + name);
    if (!copy.open(QIODevice::WriteOnly))
        return false;
    for (const QString &line : lines)
        copy.write(encodeServerText(line + CrLf, encoding));
    return copy.commit();
}

} // namespace

void TsvcOVTrack::doImport()
{
    bool stop = false;
    for (const QString &extension : std::as_const(TrackFileExtensions)) {
        const QStringList entries = matchingEntries(TrackingDir, extension);
        if (entries.isEmpty())
            continue;
        if (!TableExists(QStringLiteral("Tracking"))) {
            WriteLog(
                2,
                QStringLiteral(
                    "SQL Pipe connected, but database no Tracking database available. Sleeping 30 seconds"));
            Sleep(20000);
            TrackingTableMissing = true;
            ++UnwrittenFiles;
            return;
        }
        for (const QString &name : entries) {
            if (!importTrackingFile(name, stop))
                continue;
            if (FilePause > 0)
                Sleep(FilePause);
            if (stop)
                return;
        }
    }
}

bool TsvcOVTrack::importTrackingFile(const QString &name, bool &stop)
{
    if (extensionOf(name).size() > 4)
        return false;
    const QString path = TrackingDir + name;
    if (!isRegularFile(path)) {
        leaveEntryAlone(name, QStringLiteral("is not a regular file"));
        return false;
    }
    const FileStamp before = fileStampOf(path);
    if (before.size > TrackingFileSizeLimit) {
        leaveEntryAlone(name, QStringLiteral("is larger than 64 MiB"));
        return false;
    }
    if (!FileLooks.hasSettled(path, before)) {
        WriteLog(4, QStringLiteral("File \"%1\" is still being written; left for the next pass.").arg(name));
        return false;
    }
    LoadedFile file = loadTrackingFile(path);
    if (!file.loaded) {
        WriteLog(2, u'"' + name + u'"' + QStringLiteral(" will not load."));
        return false;
    }
    if (fileStampOf(path) != before) {
        WriteLog(4, QStringLiteral("File \"%1\" is still being written; left for the next pass.").arg(name));
        return false;
    }

    QStringList &lines = file.lines;
    const qsizetype total = lines.size();
    int index = static_cast<int>(lines.size()) - 1;
    std::optional<QString> failure;
    QString lostReason;
    bool lost = false;
    try {
        for (; index >= 0; --index) {
            const LineOutcome outcome = tryTrackingLine(name, index, lines.at(index), lostReason);
            if (outcome == LineOutcome::Applied)
                lines.removeAt(index);
            else if ((lost = outcome == LineOutcome::Waiting))
                break;
        }
    } catch (const std::exception &e) {
        failure = errorText(e);
        lost = databaseUnreachable(lostReason);
    }

    if (lost || !lines.isEmpty())
        ++UnwrittenFiles;
    if (lost) {
        leaveForNextPass(name, lines, index, total, file.encoding, lostReason, stop);
        return true;
    }
    finishTrackingFile(name, lines, file.encoding, stop);
    if (failure) {
        WriteLog(1, name + QStringLiteral("line ") + QString::number(index) + QStringLiteral(" caused ") +
                        *failure);
        return false;
    }
    return true;
}

void TsvcOVTrack::leaveEntryAlone(const QString &name, const QString &why)
{
    if (m_entriesLeftAlone.contains(name))
        return;
    m_entriesLeftAlone.insert(name);
    WriteLog(2,
             u'"' + name + QStringLiteral("\" ") + why + QStringLiteral("; it is left where it is, unread."));
}

void TsvcOVTrack::leaveForNextPass(const QString &name, const QStringList &lines, int index, qsizetype total,
                                   TextEncoding encoding, const QString &reason, bool &stop)
{
    // Lines after `index` were tried with the server up: those left failed for their data.
    const QStringList waiting = lines.mid(0, index + 1);
    const QStringList refused = lines.mid(index + 1);
    WriteLog(1, QStringLiteral(
                    "Database connection lost at \"%1\" line %2; it and the %3 lines before it are left "
                    "for the next pass: %4")
                    .arg(name)
                    .arg(index)
                    .arg(index)
                    .arg(reason));
    stop = true;
    waitForDatabase(reason);
    QStringList kept = waiting;
    if (!refused.isEmpty()) {
        if (writeErrorsCopy(TrackingDir, name, refused, encoding)) {
            WriteLog(2, QStringLiteral("Tracking file written to Errors folder. FileName: ") + name);
        } else {
            WriteLog(2, QStringLiteral("Tracking file written to Errors folder."));
            kept = lines; // the refused lines wait too rather than be lost
        }
    }
    if (kept.size() != total && !keepLinesForNextPass(name, kept, encoding))
        WriteLog(1,
                 QStringLiteral("Unable to rewrite \"%1\"; its applied lines will be read again.").arg(name));
}

void TsvcOVTrack::finishTrackingFile(const QString &name, const QStringList &remaining, TextEncoding encoding,
                                     bool &stop)
{
    const QString path = TrackingDir + name;
    if (!remaining.isEmpty()) {
        WriteLog(2, QStringLiteral("Error: Tracking.Count > 0. Tracking.Count = ") +
                        QString::number(remaining.size()));
        if (writeErrorsCopy(TrackingDir, name, remaining, encoding)) {
            WriteLog(2, QStringLiteral("Tracking file written to Errors folder. FileName: ") + name);
        } else {
            WriteLog(2, QStringLiteral("Tracking file written to Errors folder."));
            // Deleting the file now would lose its failed lines: keep it and wait for an operator.
            ProcessingHalted = true;
            stop = true;
            WriteLog(1,
                     QStringLiteral("Unable to write the failed lines of \"") + name +
                         QStringLiteral("\" to the errors folder; the tracking file is kept.  Processessing "
                                        "will be disabled."));
            return;
        }
    }
    if (!QFile::remove(path)) {
        ProcessingHalted = true;
        WriteLog(1, QStringLiteral("Unable to delete file \"") + CrLf + path + CrLf +
                        QStringLiteral("\".  Processessing will be disabled."));
        stop = true;
    }
}

TsvcOVTrack::LineOutcome TsvcOVTrack::tryTrackingLine(const QString &fileName, int index, const QString &line,
                                                        QString &reason)
{
    for (int attempt = 1;; ++attempt) {
        const int lostBefore = adoConn1.sessionsLost();
        bool applied = false;
        bool cut = false;
        try {
            applied = importTrackingLine(fileName, index, line);
        } catch (const DbError &e) {
            if (!e.isConnectionLost())
                throw;
            cut = true;
            reason = e.message();
        }
        // Also when a step of the line swallowed the error: what it did after may be missing.
        if (adoConn1.sessionsLost() != lostBefore) {
            if (!cut)
                reason = adoConn1.lostSessionReason();
            cut = true;
        }
        if (!cut)
            return applied ? LineOutcome::Applied : LineOutcome::Refused;
        // Applying a line again is safe: its row is then found and rewritten with the same values.
        if (attempt == 2 || databaseUnreachable(reason))
            return LineOutcome::Waiting;
    }
}

bool TsvcOVTrack::importTrackingLine(const QString &fileName, int index, const QString &text)
{
    const TrackingLine line(text);
    if (line.isSkipped())
        return true;
    MessageWriteScope held(MessageLocks, line.messageId());
    const bool applied = applyTrackingLine(fileName, index, line, text);
    held.commit();
    return applied;
}

bool TsvcOVTrack::applyTrackingLine(const QString &fileName, int index, const TrackingLine &line,
                                    const QString &text)
{
    const int n = line.fieldCount();
    const bool tracing = logs(4);
    if (n > 17 && tracing)
        WriteLog(4, fillLogText(QStringLiteral("Found %d fields. Assume data includes RunNumber in field 17"),
                                {QString::number(n)}));
    if (tracing)
        WriteLog(4, QStringLiteral("Line ") + QString::number(index) + QStringLiteral(": ") + text);

    ExistingTrackingRow existing;
    const int existingStatus = GetExistingRow(line.messageId(), existing);
    TrackingLineDecision d =
        decideTrackingLine(line, existing, existingStatus, ShortDateFormat, WallClock::now());
    TrackingRecord &record = d.record;
    const QString msgId = *record.MsgID;
    if (tracing)
        WriteLog(4, QStringLiteral("Processing Delivery Notification for MsgId: ") + msgId +
                        QStringLiteral(". Delivery time is: ") + line.field(4));

    // Status notifications are applied only when they move the status on.
    const auto applyStatus = [&]() -> int {
        if (!d.statusTime)
            throw std::runtime_error("no status time");
        return updateReadStatus(
            msgId, textOrEmpty(record.Sender), textOrEmpty(record.PracID), textOrEmpty(record.Filename),
            d.statusCode, record.QZDeliveryTime.isAbsent() ? DateField::unreadable() : record.QZDeliveryTime,
            d.statusTime);
    };
    const auto logStatus = [&]() {
        if (tracing)
            WriteLog(4, QStringLiteral("Processing Status Notification for MsgId: ") + msgId +
                            QStringLiteral(". Status was : ") + QString::number(d.statusCode));
    };

    if (d.isNotification) {
        int receipt = 0;
        try {
            if (!record.Filename)
                record.Filename = QString();
            if (record.Filename->endsWith(u'_'))
                record.Filename = existing.Filename;
            if (!record.Sender || !record.PracID)
                throw std::runtime_error("the receipt has no sender or practice");
            receipt = UpdateDeliveryTime(msgId, *record.PracID, record.QZDeliveryTime, *record.Sender);
            if (receipt > 0) {
                if (logs(8))
                    WriteLog(8, fillLogText(QStringLiteral("Updated Delivery Recpt for MsgId: %s"), {msgId}));
                if (d.statusCode > 0 && (!existing.ReadStatus || *existing.ReadStatus < d.statusCode)) {
                    try {
                        if (applyStatus() > 0)
                            logStatus();
                    } catch (const std::exception &) {
                    }
                }
                return true;
            }
        } catch (const std::exception &) {
            WriteLog(2,
                     fillLogText(QStringLiteral("Exception occurred updating Delivery Recpt for MsgId: %s"),
                                 {msgId}));
            return false;
        }
        if (logs(8))
            WriteLog(8, fillLogText(QStringLiteral(
                                        "No records matching Delivery Recpt for MsgId: %s. Add new record."),
                                    {msgId}));
    } else {
        try {
            if (const LowDeliveryTime low = GetLowDeliveryTime(msgId); low.deliveryTime)
                record.QZDeliveryTime = *low.deliveryTime;
        } catch (const std::exception &) {
        }
    }

    completeTrackingRecord(record, line, existing, ShortDateFormat);
    const bool written = writeRecord(fileName, index, record, existing.Found);

    if (d.statusCode > 0) {
        try {
            const int updated = applyStatus();
            if (!existing.ReadStatus || updated > *existing.ReadStatus)
                logStatus();
        } catch (const std::exception &) {
        }
    }
    return written;
}

// One write, which makes its own second try. A write cut by a lost connection is tried again with
// its line (tryTrackingLine); any other failure is the line's own, and more attempts on a sound
// connection, each with a reconnect, would only refuse it again.
bool TsvcOVTrack::writeRecord(const QString &fileName, int index, const TrackingRecord &record, bool update)
{
    try {
        if (logs(4))
            WriteLog(4, QStringLiteral("File ") + fileName + QStringLiteral(" line ") + QString::number(index) +
                            QStringLiteral("   Appending record"));
        if (update ? UpdateTrackingData(record) : InsertTrackingData(record)) {
            WriteLog(4, QStringLiteral("doImport: Record inserted succesfully"));
            return true;
        }
        WriteLog(4, QStringLiteral("doImport: Record FAILED to insert"));
        WriteLog(4, QStringLiteral("doImport: RetryCount is 1"));
    } catch (const std::exception &e) {
        WriteLog(2, QStringLiteral("doImport: Table update failed with record ") + QString::number(index) +
                        QStringLiteral(" in \"") + fileName + QStringLiteral("\" line ") +
                        QString::number(index) + errorText(e));
    }
    return false;
}

int TsvcOVTrack::GetExistingRow(const QString &msgId, ExistingTrackingRow &row)
{
    row = ExistingTrackingRow{};
    row.MsgID = msgId;
    const DbResult result = ExistingRowLookup.open(msgId);
    if (result.isEmpty())
        return -1;
    const auto text = [&result](const QString &field) -> std::optional<QString> {
        return result.isNull(0, field) ? std::nullopt : std::optional<QString>(result.text(0, field));
    };
    row.Found = true;
    row.Sender = text(QStringLiteral("Sender"));
    row.Filename = text(QStringLiteral("Filename"));
    row.QZServerReceiveTime = result.dateTime(0, QStringLiteral("QZServerReceiveTime"));
    row.PracID = text(QStringLiteral("PracID"));
    row.FileType = text(QStringLiteral("FileType"));
    row.RunNumber = text(QStringLiteral("RunNumber"));
    if (const std::optional<qint64> status = result.integer(0, QStringLiteral("ReadStatus")))
        row.ReadStatus = static_cast<int>(*status);
    return row.ReadStatus.value_or(0);
}
