#include "viewer/archive/ZLIBArchive.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <zlib.h>

#include <cstddef>
#include <cstdint>

// The reader takes a file name, so each input is written to a scratch file of this process.
namespace {

QString scratchPath()
{
    static const QString path =
        QDir::tempPath() + QStringLiteral("/fuzz-archive-%1.zlb").arg(QCoreApplication::applicationPid());
    return path;
}

// Mutated inputs would almost never keep a matching archive checksum, and the reader stops there.
// So the checksum is made right unless the lowest bit of a reserved trailer byte asks otherwise.
QByteArray withArchiveChecksum(const uint8_t *data, size_t size)
{
    QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const qsizetype trailer = bytes.size() - ZLBTrailerSize;
    if (trailer < 0 || (bytes.at(trailer + 8) & 1) != 0)
        return bytes;
    const uLong crc = crc32(crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef *>(bytes.constData()),
                            static_cast<uInt>(trailer));
    for (int i = 0; i < 4; ++i)
        bytes[trailer + i] = static_cast<char>((crc >> (8 * i)) & 0xFF);
    return bytes;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString path = scratchPath();
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        file.write(withArchiveChecksum(data, size));
    }
    TZLBArchive archive;
    int reports = 0;
    archive.SetOnProgress([&reports](const QString &, int percentage) {
        if (percentage < 0 || percentage > 100)
            __builtin_trap();
        ++reports;
    });
    try {
        if (!archive.OpenArchive(path))
            return 0;
        QFile sink(QStringLiteral("/dev/null"));
        if (!sink.open(QIODevice::WriteOnly))
            return 0;
        for (int i = 0; i < archive.GetFileCount(); ++i) {
            try {
                archive.ExtractToStream(i, sink);
            } catch (const EZLBArchiveError &) {
                // A corrupt entry is an expected outcome; the next one is still tried.
            }
        }
    } catch (const EZLBArchiveError &) {
    }
    return 0;
}
