#pragma once

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>

// The two fixed-size records of a compressed message archive: the trailer that ends the file and
// the entry record of one archived file. Integers are little-endian; names are length-prefixed
// single-byte text as the messaging server writes them.
constexpr int ZLBTrailerSize = 36;
constexpr int ZLBFileEntrySize = 532;
constexpr int ZLBNameFieldSize = 256;

struct TZLBTrailer
{
    quint32 ArchiveCRC = 0;
    qint32 FileCount = 0;
    qint32 ListOffset = 0;
    quint8 ListCompressed = 0;
    // The whole record as read, reserved bytes included, so that a copy is a faithful one.
    std::array<char, ZLBTrailerSize> Raw{};

    // Reads the record from exactly ZLBTrailerSize bytes.
    static TZLBTrailer FromBytes(const char *data);
};

struct TZLBFileEntry
{
    QString FileName;
    QString FilePath;
    qint32 FileSize = 0;
    qint32 DataOffset = 0;
    quint32 FileCRC = 0;
    quint8 Stored = 0;

    // The key by which an entry is found: FilePath followed directly by FileName.
    QString RelativeName() const;

    // Reads the record from exactly ZLBFileEntrySize bytes.
    static TZLBFileEntry FromBytes(const char *data);
};

// Names are UTF-8 when their bytes are valid UTF-8, else Windows-1252, as for every other text the
// messaging server writes; so a name read here equals the one the loader stored for the message.
QString DecodeArchiveName(const QByteArray &bytes);
