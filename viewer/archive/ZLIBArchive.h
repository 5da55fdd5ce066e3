#pragma once

#include "viewer/archive/ArchiveRecords.h"

#include <QIODevice>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <stdexcept>

class QFile;

// The failure of an archive operation; its message is one of the reader's fixed texts.
class EZLBArchiveError : public std::runtime_error
{
public:
    explicit EZLBArchiveError(const QString &message);

    QString Message() const;
};

enum class TFileCompressionLevel
{
    fcNone,
    fcFastest,
    fcDefault,
    fcMaximum
};

// Reader of the messaging server's compressed multi-file archives: opens an archive, lists its
// entries and extracts one entry to a stream or to a file below a folder. The archive file is
// opened per operation only, so other programs may read it meanwhile. Content is copied in small
// chunks and never held whole in memory.
class TZLBArchive
{
public:
    using TReplaceFileEvent = std::function<void(const QString &Filename, bool &Replace)>;
    using TFileExtractedEvent = std::function<void(const QString &filename)>;
    using TNotifyEvent = std::function<void(TZLBArchive &Sender)>;
    using TErrorLogEvent = std::function<void(const QString &Msg)>;
    using TProgressEvent = std::function<void(const QString &Msg, int Percentage)>;

    TZLBArchive();
    virtual ~TZLBArchive();
    TZLBArchive(const TZLBArchive &) = delete;
    TZLBArchive &operator=(const TZLBArchive &) = delete;

    // False, with nothing open, when the name is empty; throws on any other failure.
    bool OpenArchive(const QString &fileName);
    void CloseArchive();
    int GetFileCount() const;
    TZLBFileEntry GetFileEntry(int index) const;
    bool ExtractToStream(int index, QIODevice &destination);
    void ExtractFile(const QString &destinationFolder, const QString &relativeName);
    // CRC-32 of the stream's bytes from offset 0 up to its size minus tailLength; the stream's
    // position is kept.
    quint32 StreamCRC(QIODevice &stream, qint64 tailLength) const;

    // Helpers for building archives, which nothing in this system does.
    virtual QString MakeTempFileName();
    virtual void ListFolderFiles(const QString &folder, QStringList &strings);

    const QString &ArchiveName() const { return m_archiveName; }
    const TZLBTrailer &Trailer() const { return m_trailer; }

    TFileCompressionLevel CompressionLevel() const { return m_compressionLevel; }
    void SetCompressionLevel(TFileCompressionLevel value) { m_compressionLevel = value; }
    bool ExtractWithPath() const { return m_extractWithPath; }
    void SetExtractWithPath(bool value) { m_extractWithPath = value; }
    bool CheckCRC() const { return m_checkCRC; }
    void SetCheckCRC(bool value) { m_checkCRC = value; }
    bool SavePaths() const { return m_savePaths; }
    void SetSavePaths(bool value) { m_savePaths = value; }
    bool RecursePaths() const { return m_recursePaths; }
    void SetRecursePaths(bool value) { m_recursePaths = value; }

    void SetOnReplaceFile(TReplaceFileEvent handler) { m_onReplaceFile = std::move(handler); }
    void SetOnFileExtracted(TFileExtractedEvent handler) { m_onFileExtracted = std::move(handler); }
    void SetOnArchiveOpened(TNotifyEvent handler) { m_onArchiveOpened = std::move(handler); }
    void SetOnStreamExtracted(TFileExtractedEvent handler) { m_onStreamExtracted = std::move(handler); }
    void SetOnErrorLogged(TErrorLogEvent handler) { m_onErrorLogged = std::move(handler); }
    void SetOnProgress(TProgressEvent handler) { m_onProgress = std::move(handler); }

private:
    enum class ProgressKind
    {
        Idle,
        FileList,
        Extraction
    };

    void clearArchive();
    void openForReading(QFile &file, const QString &fileName) const;
    void readFileList(QFile &file);
    void readPlainFileList(QFile &file, qint64 listEnd);
    void readCompressedFileList(QFile &file, qint64 listEnd);
    void appendEntries(const char *records, qint64 count);
    void copyEntryContent(QFile &archive, const TZLBFileEntry &entry, QIODevice &destination);
    int findEntry(const QString &relativeName) const;
    bool isSafeToExtract(const TZLBFileEntry &entry) const;
    QString targetFolderFor(const TZLBFileEntry &entry, const QString &destinationFolder) const;
    void collectFolderFiles(const QString &folder, QStringList &strings);

    void startProgress(ProgressKind kind, const QString &text, qint64 total);
    void advanceProgress(qint64 bytes);
    void reportIdle();

    QString m_archiveName;
    TZLBTrailer m_trailer;
    QList<TZLBFileEntry> m_entries;

    ProgressKind m_progressKind = ProgressKind::Idle;
    QString m_progressText;
    qint64 m_progressTotal = 0;
    qint64 m_progressDone = 0;

    TFileCompressionLevel m_compressionLevel = TFileCompressionLevel::fcDefault;
    bool m_extractWithPath = false;
    bool m_checkCRC = false;
    bool m_savePaths = false;
    bool m_recursePaths = false;

    TReplaceFileEvent m_onReplaceFile;
    TFileExtractedEvent m_onFileExtracted;
    TNotifyEvent m_onArchiveOpened;
    TFileExtractedEvent m_onStreamExtracted;
    TErrorLogEvent m_onErrorLogged;
    TProgressEvent m_onProgress;
};
