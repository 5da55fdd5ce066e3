#include "viewer/archive/ZLIBArchive.h"

#include <QCoreApplication>
#include <QDataStream>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

// Extracts a 100 MB compressible entry and a 100 MB stored entry through TZLBArchive::ExtractFile
// and compares each with a plain loop over the same block (zlib inflate, or a read/write copy),
// timed in the same run. Usage: bench_archive [MEGABYTES] [FOLDER]
namespace {

constexpr int Repeats = 7;
constexpr qsizetype LoopBuffer = 16384;

struct Block
{
    QByteArray name;
    qint32 offset = 0;
    qint32 size = 0;
    quint32 crc = 0;
    bool stored = false;
};

// Appends to the archive file and keeps the CRC of everything written, for the trailer.
class ArchiveOutput
{
public:
    explicit ArchiveOutput(const QString &path) : m_file(path) { m_file.open(QIODevice::WriteOnly); }

    void write(const char *data, qsizetype size)
    {
        m_crc = crc32(m_crc, reinterpret_cast<const Bytef *>(data), static_cast<uInt>(size));
        m_file.write(data, size);
    }
    qint32 pos() const { return static_cast<qint32>(m_file.pos()); }
    quint32 crc() const { return static_cast<quint32>(m_crc); }
    QFile &file() { return m_file; }

private:
    QFile m_file;
    uLong m_crc = crc32(0L, Z_NULL, 0);
};

// Lines like those of a laboratory result, varied enough not to compress to nothing.
QByteArray resultText(qsizetype size, qsizetype start)
{
    QByteArray text;
    for (qsizetype i = start; text.size() < size; ++i)
        text += "OBX|" + QByteArray::number(i % 97) + "|NM|" + QByteArray::number(i * 2654435761u % 100000) +
                "^Potassium^L||" + QByteArray::number(3.5 + double(i % 17) / 10) + "|mmol/L|3.5-5.2|N|||F\r";
    text.truncate(size);
    return text;
}

QByteArray noise(qsizetype size, quint32 &state)
{
    QByteArray bytes(size, '\0');
    for (char &c : bytes) {
        state = state * 1664525u + 1013904223u;
        c = static_cast<char>(state >> 24);
    }
    return bytes;
}

Block writeEntry(ArchiveOutput &out, const QByteArray &name, qint64 total, bool stored)
{
    Block block{name, out.pos(), static_cast<qint32>(total), static_cast<quint32>(crc32(0L, Z_NULL, 0)),
                stored};
    z_stream zs{};
    deflateInit(&zs, Z_DEFAULT_COMPRESSION);
    std::vector<char> packed(LoopBuffer * 4);
    quint32 state = 12345;
    uLong crc = crc32(0L, Z_NULL, 0);
    for (qint64 done = 0; done < total;) {
        const qsizetype piece = std::min<qint64>(1 << 20, total - done);
        const QByteArray data = stored ? noise(piece, state) : resultText(piece, done / 64);
        crc = crc32(crc, reinterpret_cast<const Bytef *>(data.constData()), static_cast<uInt>(data.size()));
        done += piece;
        if (stored) {
            out.write(data.constData(), data.size());
            continue;
        }
        zs.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.constData()));
        zs.avail_in = static_cast<uInt>(data.size());
        const int flush = done == total ? Z_FINISH : Z_NO_FLUSH;
        do {
            zs.next_out = reinterpret_cast<Bytef *>(packed.data());
            zs.avail_out = static_cast<uInt>(packed.size());
            deflate(&zs, flush);
            out.write(packed.data(), qsizetype(packed.size()) - zs.avail_out);
        } while (zs.avail_out == 0 || (flush == Z_FINISH && zs.avail_in > 0));
    }
    deflateEnd(&zs);
    block.crc = static_cast<quint32>(crc);
    return block;
}

void writeList(ArchiveOutput &out, const std::vector<Block> &blocks)
{
    const qint32 listOffset = out.pos();
    for (const Block &b : blocks) {
        QByteArray record(ZLBFileEntrySize, '\0');
        record[0] = static_cast<char>(b.name.size());
        record.replace(1, b.name.size(), b.name);
        QDataStream fields(&record, QIODevice::WriteOnly);
        fields.setByteOrder(QDataStream::LittleEndian);
        fields.device()->seek(512);
        fields << b.size << qint32(0) << b.offset << b.crc << quint8(b.stored ? 1 : 0);
        out.write(record.constData(), record.size());
    }
    QByteArray trailer(ZLBTrailerSize, '\0');
    QDataStream fields(&trailer, QIODevice::WriteOnly);
    fields.setByteOrder(QDataStream::LittleEndian);
    fields << out.crc() << qint32(blocks.size()) << qint32(0) << qint32(0) << listOffset << quint8(0);
    out.file().write(trailer);
}

// The baseline: a plain loop over the same block into a file of the same folder, straight on the
// system calls with 16 KB buffers.
void plainLoop(const QString &archivePath, const Block &block, const QString &target)
{
    const int in = ::open(archivePath.toLocal8Bit().constData(), O_RDONLY);
    const int out = ::open(target.toLocal8Bit().constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ::lseek(in, block.offset, SEEK_SET);
    std::vector<char> input(LoopBuffer), output(LoopBuffer);
    qint64 remaining = block.size;
    if (block.stored) {
        while (remaining > 0) {
            const ssize_t got = ::read(in, input.data(), size_t(std::min<qint64>(LoopBuffer, remaining)));
            if (got <= 0 || ::write(out, input.data(), size_t(got)) != got)
                break;
            remaining -= got;
        }
    } else {
        z_stream zs{};
        inflateInit(&zs);
        int rc = Z_OK;
        while (rc == Z_OK) {
            const ssize_t got = ::read(in, input.data(), input.size());
            if (got <= 0)
                break;
            zs.next_in = reinterpret_cast<Bytef *>(input.data());
            zs.avail_in = static_cast<uInt>(got);
            do {
                zs.next_out = reinterpret_cast<Bytef *>(output.data());
                zs.avail_out = static_cast<uInt>(output.size());
                rc = inflate(&zs, Z_NO_FLUSH);
                const ssize_t produced = ssize_t(output.size() - zs.avail_out);
                if (::write(out, output.data(), size_t(produced)) != produced)
                    rc = Z_ERRNO;
            } while (zs.avail_out == 0 && rc == Z_OK);
        }
        inflateEnd(&zs);
    }
    ::close(out);
    ::close(in);
}

double seconds(const std::function<void()> &run)
{
    QElapsedTimer timer;
    timer.start();
    run();
    return double(timer.nsecsElapsed()) / 1e9;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const qint64 megabytes = app.arguments().size() > 1 ? app.arguments().at(1).toLongLong() : 100;
    const qint64 size = megabytes * 1024 * 1024;
    // The folder decides where both sides write: a disk folder adds the disk's noise to both.
    QTemporaryDir dir(app.arguments().size() > 2
                          ? app.arguments().at(2) + QStringLiteral("/bench-archive-XXXXXX")
                          : QDir::tempPath() + QStringLiteral("/bench-archive-XXXXXX"));
    const QString archivePath = dir.filePath("bench.zlb");
    std::vector<Block> blocks;
    {
        ArchiveOutput out(archivePath);
        blocks.push_back(writeEntry(out, "compressed.hl7", size, false));
        blocks.push_back(writeEntry(out, "stored.bin", size, true));
        writeList(out, blocks);
    }
    TZLBArchive archive;
    QElapsedTimer openTimer;
    openTimer.start();
    archive.OpenArchive(archivePath);
    std::printf("archive %.1f MB, opened (full checksum pass) in %.3f s\n",
                double(QFileInfo(archivePath).size()) / 1e6, double(openTimer.nsecsElapsed()) / 1e9);

    const double mb = double(size) / (1024 * 1024);
    for (const Block &block : blocks) {
        const QString name = QString::fromLatin1(block.name);
        // Alternated, so that write-back of one run's output burdens both sides alike.
        double reader = 1e9;
        double plain = 1e9;
        for (int i = 0; i < Repeats; ++i) {
            plain =
                std::min(plain, seconds([&] { plainLoop(archivePath, block, dir.filePath("plain.out")); }));
            reader = std::min(reader, seconds([&] { archive.ExtractFile(dir.filePath("reader/"), name); }));
        }
        if (QFileInfo(dir.filePath("reader/") + name).size() != size ||
            QFileInfo(dir.filePath("plain.out")).size() != size) {
            std::fprintf(stderr, "extracted sizes differ from %lld\n", static_cast<long long>(size));
            return 1;
        }
        std::printf("%-10s entry %5.0f MB: ExtractFile %7.1f MB/s, plain %s loop %7.1f MB/s, ratio %.2f "
                    "(target 0.90)\n",
                    block.stored ? "stored" : "compressed", mb, mb / reader,
                    block.stored ? "copy" : "inflate", mb / plain, plain / reader);
    }
    return 0;
}
