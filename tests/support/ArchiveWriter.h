#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

// Writes compressed message archives for tests, independently of the reader, so that fixtures
// (sound or deliberately damaged) are made by the tests themselves. Content blocks are laid out
// first, then the file list, then the 36-byte trailer; every field can be overridden.
class ArchiveWriter
{
public:
    struct Entry
    {
        QByteArray FileName;
        QByteArray FilePath;
        QByteArray content;
        bool Stored = false;
        std::optional<qint32> FileSize;   // default: the content's size
        std::optional<quint32> FileCRC;   // default: the content's CRC-32
        std::optional<qint32> DataOffset; // default: where the block is written
        qsizetype blockBytes = -1;        // write only this many bytes of the block; -1: all
    };

    ArchiveWriter &add(Entry entry);
    ArchiveWriter &addFile(const QByteArray &name, const QByteArray &content, bool stored = false);

    void setCompressedList(bool compressed) { m_compressedList = compressed; }
    void setFileCount(qint32 count) { m_fileCount = count; }
    void setListOffset(qint32 offset) { m_listOffset = offset; }
    void setArchiveCRC(quint32 crc) { m_archiveCRC = crc; }
    // Write only this many bytes of the (plain or compressed) file list.
    void setListBytes(qsizetype bytes) { m_listBytes = bytes; }
    // Fills the trailer's reserved bytes, which the reader must ignore.
    void setReservedFill(char fill) { m_reservedFill = fill; }

    QByteArray build() const;
    void writeTo(const QString &path) const;

    static QByteArray compress(const QByteArray &data);
    static quint32 crc(const QByteArray &data);
    // One 532-byte entry record.
    static QByteArray entryRecord(const Entry &entry, qint32 dataOffset);

private:
    QList<Entry> m_entries;
    bool m_compressedList = false;
    std::optional<qint32> m_fileCount;
    std::optional<qint32> m_listOffset;
    std::optional<quint32> m_archiveCRC;
    qsizetype m_listBytes = -1;
    char m_reservedFill = 0;
};
