#include "viewer/archive/ArchiveRecords.h"

#include <QStringDecoder>

#include <cstring>

namespace {

quint32 readUInt32(const char *p)
{
    const auto *b = reinterpret_cast<const unsigned char *>(p);
    return quint32(b[0]) | (quint32(b[1]) << 8) | (quint32(b[2]) << 16) | (quint32(b[3]) << 24);
}

qint32 readInt32(const char *p)
{
    return static_cast<qint32>(readUInt32(p));
}

// A length byte followed by 255 bytes; only the first length bytes count.
QString readName(const char *p)
{
    const int length = static_cast<unsigned char>(p[0]);
    return DecodeArchiveName(QByteArray(p + 1, length));
}

} // namespace

QString DecodeArchiveName(const QByteArray &bytes)
{
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;
    QStringDecoder ansi("windows-1252");
    if (ansi.isValid())
        return ansi.decode(bytes);
    return QString::fromLatin1(bytes);
}

TZLBTrailer TZLBTrailer::FromBytes(const char *data)
{
    TZLBTrailer trailer;
    trailer.ArchiveCRC = readUInt32(data);
    trailer.FileCount = readInt32(data + 4);
    trailer.ListOffset = readInt32(data + 16);
    trailer.ListCompressed = static_cast<quint8>(data[20]);
    std::memcpy(trailer.Raw.data(), data, ZLBTrailerSize);
    return trailer;
}

QString TZLBFileEntry::RelativeName() const
{
    return FilePath + FileName;
}

TZLBFileEntry TZLBFileEntry::FromBytes(const char *data)
{
    TZLBFileEntry entry;
    entry.FileName = readName(data);
    entry.FilePath = readName(data + ZLBNameFieldSize);
    entry.FileSize = readInt32(data + 512);
    entry.DataOffset = readInt32(data + 520);
    entry.FileCRC = readUInt32(data + 524);
    entry.Stored = static_cast<quint8>(data[528]);
    return entry;
}
