#include "viewer/archive/ZLIBArchive.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryFile>

#include <zlib.h>

#include <algorithm>
#include <array>
#include <optional>

namespace {

constexpr qint64 ContentChunkSize = 4096;
constexpr qint64 ChecksumChunkSize = 10240;
// Compressed input is read in larger pieces; only the content is bound to small chunks.
constexpr qint64 InflateInputSize = 16384;
// Deflate cannot expand data by more than about 1032 to 1, so a file list that claims to inflate
// to more than this many times its compressed bytes cannot be real; refusing it up front keeps a
// hostile count from making the reader allocate what the file could never hold.
constexpr qint64 MaxInflateRatio = 1032;

// Internal signal of a failed read or inflate; the operations turn it into their own message.
struct ReadFailure
{
};

// Inflates one zlib stream starting at the file's current position, reading no further than limit.
class BlockInflater
{
public:
    BlockInflater(QFile &file, qint64 limit) : m_file(file), m_limit(limit)
    {
        if (inflateInit(&m_stream) != Z_OK)
            throw ReadFailure();
    }
    ~BlockInflater() { inflateEnd(&m_stream); }
    BlockInflater(const BlockInflater &) = delete;
    BlockInflater &operator=(const BlockInflater &) = delete;

    // Fills up to size bytes and returns how many it produced; fewer means that the stream ended or
    // its input ran out. Throws ReadFailure on corrupt data.
    qint64 Read(char *out, qint64 size)
    {
        m_stream.next_out = reinterpret_cast<Bytef *>(out);
        m_stream.avail_out = static_cast<uInt>(size);
        while (m_stream.avail_out > 0 && !m_ended) {
            if (m_stream.avail_in == 0 && !refill())
                break;
            const int rc = inflate(&m_stream, Z_NO_FLUSH);
            if (rc == Z_STREAM_END)
                m_ended = true;
            else if (rc != Z_OK)
                throw ReadFailure();
        }
        return size - m_stream.avail_out;
    }

private:
    bool refill()
    {
        const qint64 want = std::min<qint64>(qint64(m_input.size()), m_limit - m_file.pos());
        const qint64 got = want > 0 ? m_file.read(m_input.data(), want) : 0;
        if (got <= 0)
            return false;
        m_stream.next_in = reinterpret_cast<Bytef *>(m_input.data());
        m_stream.avail_in = static_cast<uInt>(got);
        return true;
    }

    QFile &m_file;
    const qint64 m_limit;
    z_stream m_stream{};
    std::array<char, InflateInputSize> m_input{};
    bool m_ended = false;
};

// Bytes done as a percentage of the total, rounded to the nearest integer, halves to the even one.
int roundedPercentage(qint64 done, qint64 total)
{
    if (total <= 0)
        return 0;
    const qint64 scaled = done * 100;
    qint64 quotient = scaled / total;
    const qint64 twiceRest = (scaled % total) * 2;
    if (twiceRest > total || (twiceRest == total && quotient % 2 != 0))
        ++quotient;
    return static_cast<int>(quotient);
}

// The archive's lookup ignores the letter case of A to Z only. Windows folders in stored paths use
// backslashes; either separator finds them.
QString lookupKey(const QString &name)
{
    QString key = name;
    for (QChar &c : key) {
        if (c >= u'A' && c <= u'Z')
            c = QChar(c.unicode() + (u'a' - u'A'));
        else if (c == u'\\')
            c = u'/';
    }
    return key;
}

bool isSeparator(QChar c)
{
    return c == u'/' || c == u'\\';
}

// A file that already exists under another letter case is the one Windows would overwrite.
QString onDiskTarget(const QString &folder, const QString &fileName)
{
    const QString exact = folder + u'/' + fileName;
    if (QFileInfo::exists(exact))
        return exact;
    const QStringList names =
        QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    const auto found = std::find_if(names.begin(), names.end(), [&fileName](const QString &name) {
        return name.compare(fileName, Qt::CaseInsensitive) == 0;
    });
    if (found != names.end())
        return folder + u'/' + *found;
    return exact;
}

[[noreturn]] void fail(const QString &message)
{
    throw EZLBArchiveError(message);
}

} // namespace

EZLBArchiveError::EZLBArchiveError(const QString &message) : std::runtime_error(message.toStdString()) {}

QString EZLBArchiveError::Message() const
{
    return QString::fromStdString(what());
}

TZLBArchive::TZLBArchive() = default;

TZLBArchive::~TZLBArchive()
{
    // No progress report while being destroyed.
    clearArchive();
}

void TZLBArchive::clearArchive()
{
    m_entries.clear();
    m_trailer = TZLBTrailer();
    m_archiveName.clear();
    m_progressKind = ProgressKind::Idle;
}

void TZLBArchive::CloseArchive()
{
    clearArchive();
    reportIdle();
}

void TZLBArchive::openForReading(QFile &file, const QString &fileName) const
{
    // Linux has no share modes; the archive is only ever read, so readers need no lock.
    if (!file.open(QIODevice::ReadOnly))
        fail(QStringLiteral("Unable to open file (%1)").arg(fileName));
}

bool TZLBArchive::OpenArchive(const QString &fileName)
{
    CloseArchive();
    if (fileName.isEmpty())
        return false;
    // Only a regular file can be an archive; opening a pipe for reading would block.
    if (!QFileInfo(fileName).isFile())
        fail(QStringLiteral("Archive file not found"));

    QFile file(fileName);
    openForReading(file, fileName);
    const quint32 computed = StreamCRC(file, ZLBTrailerSize);
    std::array<char, ZLBTrailerSize> trailerBytes{};
    if (file.size() < ZLBTrailerSize || !file.seek(file.size() - ZLBTrailerSize) ||
        file.read(trailerBytes.data(), ZLBTrailerSize) != ZLBTrailerSize)
        fail(QStringLiteral("The archive file appears to be corrupted"));
    const TZLBTrailer trailer = TZLBTrailer::FromBytes(trailerBytes.data());
    if (trailer.ArchiveCRC != computed)
        fail(QStringLiteral("The archive file appears to be corrupted"));

    m_archiveName = fileName;
    m_trailer = trailer;
    try {
        readFileList(file);
        if (m_onArchiveOpened)
            m_onArchiveOpened(*this);
    } catch (...) {
        try {
            CloseArchive();
        } catch (...) {
            // The reader is closed already; the list failure is what the caller needs to hear.
        }
        fail(QStringLiteral("Unable to read archive file list"));
    }
    file.close();
    reportIdle();
    return true;
}

void TZLBArchive::readFileList(QFile &file)
{
    if (m_trailer.FileCount <= 0)
        return;
    const qint64 listEnd = file.size() - ZLBTrailerSize;
    if (m_trailer.ListOffset < 0 || m_trailer.ListOffset > listEnd || !file.seek(m_trailer.ListOffset))
        throw ReadFailure();
    if (m_trailer.ListCompressed == 0)
        readPlainFileList(file, listEnd);
    else
        readCompressedFileList(file, listEnd);
}

void TZLBArchive::readPlainFileList(QFile &file, qint64 listEnd)
{
    const qint64 count = m_trailer.FileCount;
    if (count * ZLBFileEntrySize > listEnd - m_trailer.ListOffset)
        throw ReadFailure();
    std::array<char, ZLBFileEntrySize> record{};
    for (qint64 i = 0; i < count; ++i) {
        if (file.read(record.data(), ZLBFileEntrySize) != ZLBFileEntrySize)
            throw ReadFailure();
        appendEntries(record.data(), 1);
    }
}

void TZLBArchive::readCompressedFileList(QFile &file, qint64 listEnd)
{
    const qint64 total = qint64(m_trailer.FileCount) * ZLBFileEntrySize;
    if (total > (listEnd - m_trailer.ListOffset) * MaxInflateRatio)
        throw ReadFailure();
    BlockInflater inflater(file, listEnd);
    startProgress(ProgressKind::FileList, QStringLiteral("Extracting archive registry"), total);
    QByteArray records;
    std::array<char, ContentChunkSize> chunk{};
    for (qint64 remaining = total; remaining > 0;) {
        const qint64 want = std::min(remaining, ContentChunkSize);
        const qint64 got = inflater.Read(chunk.data(), want);
        advanceProgress(got);
        records.append(chunk.data(), got);
        remaining -= want;
        if (got < want)
            throw ReadFailure();
    }
    appendEntries(records.constData(), m_trailer.FileCount);
}

void TZLBArchive::appendEntries(const char *records, qint64 count)
{
    for (qint64 i = 0; i < count; ++i)
        m_entries.append(TZLBFileEntry::FromBytes(records + i * ZLBFileEntrySize));
}

int TZLBArchive::GetFileCount() const
{
    if (m_archiveName.isEmpty())
        fail(QStringLiteral("No archive is currently open"));
    return static_cast<int>(m_entries.size());
}

TZLBFileEntry TZLBArchive::GetFileEntry(int index) const
{
    if (index < 0 || index >= m_entries.size())
        fail(QStringLiteral("Index out of bounds"));
    return m_entries.at(index);
}

bool TZLBArchive::ExtractToStream(int index, QIODevice &destination)
{
    const TZLBFileEntry entry = GetFileEntry(index);
    QFile archive(m_archiveName);
    openForReading(archive, m_archiveName);
    try {
        copyEntryContent(archive, entry, destination);
    } catch (...) {
        fail(QStringLiteral("File (%1) is corrupt").arg(index));
    }
    if (m_checkCRC && StreamCRC(destination, 0) != entry.FileCRC)
        fail(QStringLiteral("File (%1) failed CRC check").arg(index));
    return true;
}

void TZLBArchive::copyEntryContent(QFile &archive, const TZLBFileEntry &entry, QIODevice &destination)
{
    startProgress(ProgressKind::Extraction, QStringLiteral("Extracting %1").arg(entry.FileName),
                  entry.FileSize);
    if (entry.FileSize <= 0)
        return;
    if (entry.DataOffset < 0 || !archive.seek(entry.DataOffset))
        throw ReadFailure();
    const bool stored = entry.Stored != 0;
    std::optional<BlockInflater> inflater;
    if (!stored)
        inflater.emplace(archive, archive.size());
    std::array<char, ContentChunkSize> chunk{};
    for (qint64 remaining = entry.FileSize; remaining > 0;) {
        const qint64 want = std::min(remaining, ContentChunkSize);
        const qint64 got = stored ? archive.read(chunk.data(), want) : inflater->Read(chunk.data(), want);
        if (got < 0)
            throw ReadFailure();
        advanceProgress(got);
        if (got > 0 && destination.write(chunk.data(), got) != got)
            throw ReadFailure();
        remaining -= want;
        // A stored block cut short by the end of the file gives a shorter file; a compressed block
        // that ends early is corrupt.
        if (got < want && !stored)
            throw ReadFailure();
        if (got < want)
            break;
    }
}

quint32 TZLBArchive::StreamCRC(QIODevice &stream, qint64 tailLength) const
{
    const qint64 position = stream.pos();
    stream.seek(0);
    uLong crc = crc32(0L, Z_NULL, 0);
    std::array<char, ChecksumChunkSize> buffer{};
    for (qint64 remaining = stream.size() - tailLength; remaining > 0;) {
        const qint64 want = std::min(remaining, ChecksumChunkSize);
        const qint64 got = stream.read(buffer.data(), want);
        if (got <= 0)
            break;
        crc = crc32(crc, reinterpret_cast<const Bytef *>(buffer.data()), static_cast<uInt>(got));
        remaining -= want;
    }
    stream.seek(position);
    return static_cast<quint32>(crc);
}

int TZLBArchive::findEntry(const QString &relativeName) const
{
    const QString wanted = lookupKey(relativeName);
    for (qsizetype i = 0; i < m_entries.size(); ++i) {
        const TZLBFileEntry &entry = m_entries.at(i);
        if (lookupKey(entry.RelativeName()) == wanted && isSafeToExtract(entry))
            return static_cast<int>(i);
    }
    return -1;
}

bool TZLBArchive::isSafeToExtract(const TZLBFileEntry &entry) const
{
    // Names come from a file written elsewhere: one that could place the file outside the
    // destination folder is treated as absent.
    const QString &name = entry.FileName;
    if (name.isEmpty() || name == u"." || name == u".." || name.contains(QChar(0)) ||
        std::any_of(name.begin(), name.end(), isSeparator))
        return false;
    if (!m_extractWithPath)
        return true;
    if (entry.FilePath.contains(QChar(0)))
        return false;
    const QStringList parts = entry.FilePath.split(QRegularExpression(QStringLiteral("[/\\\\]")));
    return !parts.contains(QStringLiteral(".."));
}

QString TZLBArchive::targetFolderFor(const TZLBFileEntry &entry, const QString &destinationFolder) const
{
    QString folder = destinationFolder;
    if (m_extractWithPath && !entry.FilePath.isEmpty()) {
        QString path = entry.FilePath;
        path.replace(u'\\', u'/');
        // Joined directly, a folder without its separator would name a sibling of the destination,
        // and an empty destination would make a leading separator the root.
        if (folder.isEmpty())
            folder = QStringLiteral(".");
        if (!folder.endsWith(u'/') && !path.startsWith(u'/'))
            folder += u'/';
        folder += path;
    }
    while (folder.contains(QStringLiteral("//")))
        folder.remove(folder.indexOf(QStringLiteral("//")), 1);
    if (folder.endsWith(u'/'))
        folder.chop(1);
    return folder;
}

void TZLBArchive::ExtractFile(const QString &destinationFolder, const QString &relativeName)
{
    if (m_archiveName.isEmpty())
        fail(QStringLiteral("No archive is currently open"));
    const int index = findEntry(relativeName);
    if (index < 0)
        fail(QStringLiteral("File not found in archive"));
    const TZLBFileEntry entry = m_entries.at(index);

    const QString folder = targetFolderFor(entry, destinationFolder);
    if (folder.isEmpty() || !QDir().mkpath(folder) || !QFileInfo(folder).isDir())
        fail(QStringLiteral("Unable to create destination path"));

    const QString target = onDiskTarget(folder, entry.FileName);
    bool replace = true;
    if (QFileInfo::exists(target) && m_onReplaceFile) {
        replace = false;
        m_onReplaceFile(target, replace);
    }
    if (replace) {
        QFile output(target);
        if (!output.open(QIODevice::ReadWrite | QIODevice::Truncate))
            fail(QStringLiteral("Unable to create destination path"));
        const bool extracted = ExtractToStream(index, output);
        output.close();
        if (extracted && m_onFileExtracted)
            m_onFileExtracted(destinationFolder + entry.FileName);
    }
    reportIdle();
}

QString TZLBArchive::MakeTempFileName()
{
    QTemporaryFile file(QDir::tempPath() + QStringLiteral("/ZLBXXXXXX.tmp"));
    file.setAutoRemove(false);
    if (!file.open())
        return QString();
    return file.fileName();
}

void TZLBArchive::ListFolderFiles(const QString &folder, QStringList &strings)
{
    QString base = folder;
    if (base.endsWith(u'/'))
        base.chop(1);
    collectFolderFiles(base, strings);
}

void TZLBArchive::collectFolderFiles(const QString &folder, QStringList &strings)
{
    // A folder's own entries are appended after those of its subfolders.
    QStringList own;
    const QFileInfoList infos = QDir(folder).entryInfoList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
    for (const QFileInfo &info : infos) {
        const QString path = folder + u'/' + info.fileName();
        if (!info.isDir()) {
            own.append(path);
            continue;
        }
        if (m_savePaths)
            own.append(path);
        // A linked folder could lead back up the tree.
        if (m_recursePaths && !info.isSymLink())
            collectFolderFiles(path, strings);
    }
    strings.append(own);
}

void TZLBArchive::startProgress(ProgressKind kind, const QString &text, qint64 total)
{
    m_progressKind = kind;
    m_progressText = text;
    m_progressTotal = total;
    m_progressDone = 0;
}

void TZLBArchive::advanceProgress(qint64 bytes)
{
    m_progressDone += bytes;
    if (m_onProgress)
        m_onProgress(m_progressText, roundedPercentage(m_progressDone, m_progressTotal));
}

void TZLBArchive::reportIdle()
{
    m_progressKind = ProgressKind::Idle;
    if (m_onProgress)
        m_onProgress(m_archiveName, 0);
}
