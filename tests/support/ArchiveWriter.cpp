#include "tests/support/ArchiveWriter.h"

#include <QFile>

#include <zlib.h>

#include <stdexcept>

namespace {

void appendUInt32(QByteArray &out, quint32 value)
{
    for (int shift = 0; shift < 32; shift += 8)
        out.append(static_cast<char>((value >> shift) & 0xFF));
}

void appendName(QByteArray &out, const QByteArray &name)
{
    QByteArray field(256, '\0');
    const int length = static_cast<int>(std::min<qsizetype>(name.size(), 255));
    field[0] = static_cast<char>(length);
    field.replace(1, length, name.left(length));
    out.append(field);
}

} // namespace

ArchiveWriter &ArchiveWriter::add(Entry entry)
{
    m_entries.append(std::move(entry));
    return *this;
}

ArchiveWriter &ArchiveWriter::addFile(const QByteArray &name, const QByteArray &content, bool stored)
{
    Entry entry;
    entry.FileName = name;
    entry.content = content;
    entry.Stored = stored;
    return add(entry);
}

QByteArray ArchiveWriter::compress(const QByteArray &data)
{
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    QByteArray out(static_cast<qsizetype>(size), '\0');
    if (compress2(reinterpret_cast<Bytef *>(out.data()), &size,
                  reinterpret_cast<const Bytef *>(data.constData()), static_cast<uLong>(data.size()),
                  Z_DEFAULT_COMPRESSION) != Z_OK)
        throw std::runtime_error("compress2 failed");
    out.resize(static_cast<qsizetype>(size));
    return out;
}

quint32 ArchiveWriter::crc(const QByteArray &data)
{
    return static_cast<quint32>(crc32(crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef *>(data.constData()),
                                      static_cast<uInt>(data.size())));
}

QByteArray ArchiveWriter::entryRecord(const Entry &entry, qint32 dataOffset)
{
    QByteArray record;
    appendName(record, entry.FileName);
    appendName(record, entry.FilePath);
    appendUInt32(record,
                 static_cast<quint32>(entry.FileSize.value_or(static_cast<qint32>(entry.content.size()))));
    appendUInt32(record, 0xA5A5A5A5u); // reserved
    appendUInt32(record, static_cast<quint32>(entry.DataOffset.value_or(dataOffset)));
    appendUInt32(record, entry.FileCRC.value_or(crc(entry.content)));
    record.append(entry.Stored ? '\1' : '\0');
    record.append(QByteArray(3, '\x5A')); // reserved
    return record;
}

QByteArray ArchiveWriter::build() const
{
    QByteArray archive;
    QByteArray list;
    for (const Entry &entry : m_entries) {
        const auto offset = static_cast<qint32>(archive.size());
        QByteArray block = entry.Stored ? entry.content : compress(entry.content);
        if (entry.blockBytes >= 0)
            block.truncate(entry.blockBytes);
        archive.append(block);
        list.append(entryRecord(entry, offset));
    }
    if (m_compressedList)
        list = compress(list);
    if (m_listBytes >= 0)
        list.truncate(m_listBytes);
    const auto listOffset = static_cast<qint32>(archive.size());
    archive.append(list);

    QByteArray trailer;
    appendUInt32(trailer, m_archiveCRC.value_or(crc(archive)));
    appendUInt32(trailer, static_cast<quint32>(m_fileCount.value_or(static_cast<qint32>(m_entries.size()))));
    trailer.append(QByteArray(8, m_reservedFill));
    appendUInt32(trailer, static_cast<quint32>(m_listOffset.value_or(listOffset)));
    trailer.append(m_compressedList ? '\1' : '\0');
    trailer.append(QByteArray(15, m_reservedFill));
    return archive + trailer;
}

void ArchiveWriter::writeTo(const QString &path) const
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(build()) < 0)
        throw std::runtime_error("cannot write " + path.toStdString());
}
