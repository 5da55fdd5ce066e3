#include "tests/archive/ArchiveFixture.h"

#include <QBuffer>
#include <QDir>
#include <QDirIterator>
#include <QFile>

#include <functional>

namespace {

using HostileTest = ArchiveFixture;

// Rewrites the trailer's checksum after a change, so that only the change itself is judged.
QByteArray withValidChecksum(QByteArray archive)
{
    const qsizetype trailer = archive.size() - 36;
    const quint32 crc = ArchiveWriter::crc(archive.left(trailer));
    for (int i = 0; i < 4; ++i)
        archive[trailer + i] = static_cast<char>((crc >> (8 * i)) & 0xFF);
    return archive;
}

struct OpenCase
{
    const char *what;
    std::function<QByteArray()> bytes;
    const char *message;
};

ArchiveWriter listOf(int entries, bool compressed)
{
    ArchiveWriter writer;
    for (int i = 0; i < entries; ++i)
        writer.addFile("f" + QByteArray::number(i), "x");
    writer.setCompressedList(compressed);
    return writer;
}

TEST_F(HostileTest, DamagedTrailerOrListIsReportedAndLeavesNothingOpen)
{
    const std::vector<OpenCase> cases = {
        {"empty file", [] { return QByteArray(); }, "The archive file appears to be corrupted"},
        {"shorter than the trailer", [] { return QByteArray(35, '\0'); },
         "The archive file appears to be corrupted"},
        {"count far beyond the file",
         [] {
             ArchiveWriter w = listOf(1, false);
             w.setFileCount(0x7FFFFFFF);
             return w.build();
         },
         "Unable to read archive file list"},
        {"compressed count far beyond the file",
         [] {
             ArchiveWriter w = listOf(1, true);
             w.setFileCount(0x7FFFFFFF);
             return w.build();
         },
         "Unable to read archive file list"},
        {"negative list offset",
         [] {
             ArchiveWriter w = listOf(1, false);
             w.setListOffset(-532);
             return w.build();
         },
         "Unable to read archive file list"},
        {"list offset past the end",
         [] {
             ArchiveWriter w = listOf(1, true);
             w.setListOffset(0x7FFFFF00);
             return w.build();
         },
         "Unable to read archive file list"},
        {"plain list running into the trailer",
         [] {
             ArchiveWriter w = listOf(2, false);
             w.setListBytes(600);
             return w.build();
         },
         "Unable to read archive file list"},
        {"compressed list ending early",
         [] {
             ArchiveWriter w = listOf(40, true);
             w.setListBytes(30);
             return w.build();
         },
         "Unable to read archive file list"},
        {"compressed list inflating to fewer records",
         [] {
             ArchiveWriter w = listOf(3, true);
             w.setFileCount(4);
             return w.build();
         },
         "Unable to read archive file list"},
        {"list that is no zlib stream",
         [] {
             ArchiveWriter w = listOf(2, false);
             QByteArray bytes = w.build();
             bytes[bytes.size() - 36 + 20] = 1; // claims a compressed list
             return withValidChecksum(bytes);
         },
         "Unable to read archive file list"},
    };
    for (const OpenCase &c : cases) {
        const QString file = writeBytes(c.bytes());
        EXPECT_EQ(archiveErrorOf([&] { m_archive.OpenArchive(file); }), c.message) << c.what;
        EXPECT_EQ(archiveErrorOf([&] { m_archive.GetFileCount(); }), "No archive is currently open")
            << c.what;
    }
}

TEST_F(HostileTest, NegativeCountIsAnEmptyArchive)
{
    ArchiveWriter w = listOf(1, true);
    w.setFileCount(-3);
    ASSERT_TRUE(m_archive.OpenArchive(write(w)));
    EXPECT_EQ(m_archive.GetFileCount(), 0);
}

struct EntryCase
{
    const char *what;
    ArchiveWriter::Entry entry;
    const char *message;
    QByteArray written;
};

ArchiveWriter::Entry damaged(std::function<void(ArchiveWriter::Entry &)> change)
{
    ArchiveWriter::Entry entry;
    entry.FileName = "m.hl7";
    entry.content = sampleContent(20000);
    change(entry);
    return entry;
}

TEST_F(HostileTest, DamagedEntriesAreCorruptOrShortButNeverReadOutside)
{
    const QByteArray content = sampleContent(20000);
    const std::vector<EntryCase> cases = {
        {"negative data offset", damaged([](auto &e) { e.DataOffset = -100; }), "File (1) is corrupt", {}},
        {"data offset past the end",
         damaged([](auto &e) { e.DataOffset = 0x7FFFFFF0; }),
         "File (1) is corrupt",
         {}},
        {"stored offset past the end",
         damaged([](auto &e) {
             e.Stored = true;
             e.DataOffset = 0x7FFFFFF0;
         }),
         "(no error)",
         {}},
        {"compressed block cut short",
         damaged([](auto &e) { e.blockBytes = 100; }),
         "File (1) is corrupt",
         {}},
        {"compressed block smaller than its size", damaged([](auto &e) { e.FileSize = 30000; }),
         "File (1) is corrupt", content},
        {"block that is no zlib stream",
         damaged([](auto &e) { e.DataOffset = 2; }),
         "File (1) is corrupt",
         {}},
        {"negative size", damaged([](auto &e) { e.FileSize = -1; }), "(no error)", {}},
        {"huge stored size",
         damaged([](auto &e) {
             e.Stored = true;
             e.FileSize = 0x7FFFFFFF;
             e.blockBytes = 10;
         }),
         "(no error)",
         {}},
    };
    for (const EntryCase &c : cases) {
        ArchiveWriter writer;
        writer.addFile("first.txt", "first");
        writer.add(c.entry);
        const QString file = write(writer);
        ASSERT_TRUE(m_archive.OpenArchive(file)) << c.what;
        QFile out(path("out.bin"));
        ASSERT_TRUE(out.open(QIODevice::ReadWrite | QIODevice::Truncate));
        EXPECT_EQ(archiveErrorOf([&] { m_archive.ExtractToStream(1, out); }), c.message) << c.what;
        out.close();
        if (!c.written.isNull()) {
            EXPECT_EQ(readFile(path("out.bin")), c.written) << c.what;
        }
        EXPECT_LE(QFileInfo(path("out.bin")).size(), QFileInfo(file).size() + content.size()) << c.what;
        EXPECT_EQ(m_archive.GetFileCount(), 2) << c.what;
    }
}

// Every file below the folder, relative to it.
QStringList filesBelow(const QString &root)
{
    QStringList files;
    QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        files.append(QDir(root).relativeFilePath(it.next()));
    files.sort();
    return files;
}

struct ClimbCase
{
    QByteArray path;
    QByteArray name;
    bool withPath;
};

TEST_F(HostileTest, EntriesThatWouldLeaveTheDestinationAreNotFound)
{
    const std::vector<ClimbCase> cases = {
        {"", "..", false},
        {"", ".", false},
        {"", "../escape.txt", false},
        {"", "..\\escape.txt", false},
        {"", "/tmp/escape.txt", false},
        {"", "sub/escape.txt", false},
        {"..\\", "escape.txt", true},
        {"sub\\..\\..\\", "escape.txt", true},
        {"../", "escape.txt", true},
        {"a/../../", "escape.txt", true},
    };
    const QString destination = path("dest/deeper/");
    QDir().mkpath(destination);
    for (const ClimbCase &c : cases) {
        ArchiveWriter writer;
        ArchiveWriter::Entry entry;
        entry.FilePath = c.path;
        entry.FileName = c.name;
        entry.content = "payload";
        writer.add(entry);
        ASSERT_TRUE(m_archive.OpenArchive(write(writer)));
        m_archive.SetExtractWithPath(c.withPath);
        EXPECT_EQ(
            archiveErrorOf([&] { m_archive.ExtractFile(destination, QString::fromLatin1(c.path + c.name)); }),
            "File not found in archive")
            << c.path.constData() << c.name.constData();
    }
    EXPECT_EQ(filesBelow(m_dir.path()), QStringList{"archive.zlb"});
}

TEST_F(HostileTest, LeadingSeparatorStaysBelowAnEmptyDestination)
{
    ArchiveWriter writer;
    writer.add([] {
        ArchiveWriter::Entry e;
        e.FilePath = "\\zlbtest-root-escape\\";
        e.FileName = "x.txt";
        e.content = "x";
        return e;
    }());
    ASSERT_TRUE(m_archive.OpenArchive(write(writer)));
    m_archive.SetExtractWithPath(true);
    const QString before = QDir::currentPath();
    QDir::setCurrent(m_dir.path());
    m_archive.ExtractFile(QString(), "\\zlbtest-root-escape\\x.txt");
    QDir::setCurrent(before);
    EXPECT_FALSE(QFileInfo::exists("/zlbtest-root-escape"));
    EXPECT_EQ(readFile(path("zlbtest-root-escape/x.txt")), "x");
}

TEST_F(HostileTest, PathWithDotsInsideNamesIsFine)
{
    ArchiveWriter writer;
    ArchiveWriter::Entry entry;
    entry.FilePath = "v1..2\\";
    entry.FileName = "..hidden";
    entry.content = "ok";
    writer.add(entry);
    ASSERT_TRUE(m_archive.OpenArchive(write(writer)));
    m_archive.SetExtractWithPath(true);
    m_archive.ExtractFile(path("out/"), "v1..2\\..hidden");
    EXPECT_EQ(readFile(path("out/v1..2/..hidden")), "ok");
}

} // namespace
