#include "loader/FileQuiescence.h"
#include "loader/OVTrackSvcForm.h"
#include "loader/RegularFile.h"
#include "loader/ServiceControl.h"

#include "shared/tracking/DbStatement.h"

#include <QDir>
#include <QFile>

#include <stdexcept>

namespace {

constexpr int DeleteRetryMilliseconds = 10000;

// The content files of one pattern, in name order, hidden ones included; folders are not content.
QStringList contentFileNames(const QString &folder, const QString &pattern)
{
    return QDir(folder).entryList({pattern}, QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

// The message id is the file name without its last extension: "a.b.data" is message "a.b".
QString messageIdOf(const QString &fileName)
{
    return fileName.left(fileName.lastIndexOf(u'.'));
}

QByteArray readWholeFile(const QString &path)
{
    RegularFileRead read = readRegularFile(path);
    if (!read.bytes)
        throw std::runtime_error(read.error.toStdString());
    // An empty file is stored as empty content: a null array would be bound as NULL, "no content".
    return read.bytes->isNull() ? QByteArray("", 0) : std::move(*read.bytes);
}

} // namespace

void TsvcOVTrack::StoreContentFiles()
{
    if (!StoreHM)
        return;
    // One pattern per pass: ".qzdata" files wait until no ".data" file is left.
    QStringList names = contentFileNames(TrackingDir, QStringLiteral("*.data"));
    if (names.isEmpty())
        names = contentFileNames(TrackingDir, QStringLiteral("*.qzdata"));
    if (names.isEmpty())
        return;

    DbStatement ContentInsert(adoConn1);
    ContentInsert.setLines({QStringLiteral("insert into HM_CONTENT  (Msgid, HMdata)"),
                            QStringLiteral("values (:QMsgId, :QData)")});
    for (const QString &name : names)
        storeContentFile(ContentInsert, name);
}

void TsvcOVTrack::storeContentFile(DbStatement &contentInsert, const QString &name)
{
    const QString path = TrackingDir + name;
    try {
        if (!isRegularFile(path)) {
            leaveEntryAlone(name, QStringLiteral("is not a regular file"));
            return;
        }
        const FileStamp stamp = fileStampOf(path);
        if (!FileLooks.hasSettled(path, stamp)) {
            WriteLog(4, QStringLiteral("Data file ") + name +
                            QStringLiteral(" is still being written, left for the next pass."));
            return;
        }
        contentInsert.bind(QStringLiteral("QMsgId"), ParamType::Text, messageIdOf(name));
        WriteLog(4, QStringLiteral("Data file ") + name + QStringLiteral(" Loading into memory."));
        const QByteArray data = readWholeFile(path);
        if (data.size() != stamp.size || fileStampOf(path) != stamp) {
            WriteLog(4, QStringLiteral("Data file ") + name +
                            QStringLiteral(" changed while it was read, left for the next pass."));
            return;
        }
        contentInsert.bind(QStringLiteral("QData"), ParamType::LongText, data);
        WriteLog(4, QStringLiteral("Adding Data file ") + name + QStringLiteral(" to content database"));
        const bool added = storeContentOnce(contentInsert, messageIdOf(name), data);
        contentInsert.bind(QStringLiteral("QData"), ParamType::LongText, QVariant()); // do not hold the bytes
        WriteLog(4, QStringLiteral("Data file ") + name +
                        (added ? QStringLiteral(" added to database.")
                               : QStringLiteral(" is stored already; no second copy is added.")));
        if (!deleteStoredContentFile(path)) {
            WriteLog(2, QStringLiteral("WARNING!!!!!!!  Could not Delete the file \"") + path +
                            QStringLiteral("\" Data import halted to prevent ") +
                            QStringLiteral("DB Overrun.  Service must be restarted."));
            StoreHM = false; // the rest of this pass still runs; later passes do nothing
        }
    } catch (const std::exception &error) {
        const QString message = QString::fromUtf8(error.what());
        if (const auto *refused = dynamic_cast<const DbError *>(&error); refused && refused->isDuplicateKey()) {
            QFile::remove(path);
            return;
        }
        WriteLog(2, QStringLiteral("Record for \"") + name + QStringLiteral("\" insert failed. ") + message);
    }
}

bool TsvcOVTrack::storeContentOnce(DbStatement &contentInsert, const QString &messageId, const QByteArray &data)
{
    // A file stored before a crash kept it from being deleted, or delivered again, is not stored
    // twice; the lock keeps two loaders with the same file from both finding it missing.
    MessageWriteScope held(MessageLocks, messageId);
    DbStatement stored(adoConn1, QStringLiteral("select HMData from HM_CONTENT where MsgID = :QMsgId"));
    stored.bind(QStringLiteral("QMsgId"), ParamType::Text, messageId);
    const DbResult copies = stored.open();
    const SqlDialect &dialect = adoConn1.dialect();
    for (int row = 0; row < copies.rowCount(); ++row) {
        if (!copies.isNull(row, QStringLiteral("HMData")) &&
            dialect.longTextValue(copies.value(row, QStringLiteral("HMData"))) == data) {
            held.commit();
            return false;
        }
    }
    contentInsert.execute();
    held.commit();
    return true;
}

bool TsvcOVTrack::deleteStoredContentFile(const QString &path)
{
    if (QFile::remove(path))
        return true;
    // The wait is long: let the host answer pause, continue and stop meanwhile.
    Sleep(DeleteRetryMilliseconds);
    if (m_control)
        m_control->handleRequests();
    return QFile::remove(path);
}
