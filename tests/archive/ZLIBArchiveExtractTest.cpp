#include "tests/archive/ArchiveFixture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <utility>
#include <vector>

namespace {

class ExtractTest : public ArchiveFixture
{
protected:
    // An archive holding Report.HL7 ("new") and a longer file of the given name in out/.
    void openOverExistingFile(const QString &existing)
    {
        ArchiveWriter writer;
        writer.addFile("Report.HL7", "new");
        ASSERT_TRUE(m_archive.OpenArchive(write(writer)));
        QDir().mkpath(path("out"));
        writeBytes("old and longer", "out/" + existing);
    }
};

ArchiveWriter::Entry entryIn(const QByteArray &path, const QByteArray &name, const QByteArray &content)
{
    ArchiveWriter::Entry entry;
    entry.FilePath = path;
    entry.FileName = name;
    entry.content = content;
    return entry;
}

TEST_F(ExtractTest, LookupIgnoresCaseAndWritesTheStoredName)
{
    ArchiveWriter writer;
    writer.addFile("Report.HL7", "MSH|^~\\&|lab");
    ASSERT_TRUE(m_archive.OpenArchive(write(writer)));
    const QString out = path("out/");
    m_archive.ExtractFile(out, "report.hl7");
    EXPECT_EQ(QDir(out).entryList(QDir::Files), QStringList{"Report.HL7"});
    EXPECT_EQ(readFile(out + "Report.HL7"), "MSH|^~\\&|lab");
    // Only A to Z fold: a differently cased non-ASCII letter is another name.
    ArchiveWriter accented;
    accented.addFile("\xc3\x89t\xc3\xa9.txt", "e");
    ASSERT_TRUE(m_archive.OpenArchive(write(accented)));
    EXPECT_EQ(archiveErrorOf([&] { m_archive.ExtractFile(out, QString::fromUtf8("\xc3\xa9T\xc3\xa9.TXT")); }),
              "File not found in archive");
    m_archive.ExtractFile(out, QString::fromUtf8("\xc3\x89T\xc3\xa9.TXT"));
    EXPECT_EQ(readFile(out + QString::fromUtf8("\xc3\x89t\xc3\xa9.txt")), "e");
}

TEST_F(ExtractTest, SingleByteNamesAreWindows1252)
{
    ArchiveWriter writer;
    writer.addFile("M\xfcller\x80.hl7", "x");
    ASSERT_TRUE(m_archive.OpenArchive(write(writer)));
    EXPECT_EQ(m_archive.GetFileEntry(0).FileName, QString::fromUtf8("M\xc3\xbcller\xe2\x82\xac.hl7"));
}

TEST_F(ExtractTest, EntryWithPathIsFoundOnlyByItsFullRelativeName)
{
    ArchiveWriter writer;
    writer.add(entryIn("inbox\\2024\\", "Result.hl7", "nested"));
    ASSERT_TRUE(m_archive.OpenArchive(write(writer)));
    const QString out = path("out/");
    EXPECT_EQ(archiveErrorOf([&] { m_archive.ExtractFile(out, "Result.hl7"); }), "File not found in archive");
    m_archive.ExtractFile(out, "INBOX\\2024\\result.HL7");
    m_archive.ExtractFile(path("other/"), "inbox/2024/Result.hl7");
    // Without ExtractWithPath the file lands directly in the destination.
    EXPECT_EQ(readFile(out + "Result.hl7"), "nested");
    EXPECT_EQ(readFile(path("other/Result.hl7")), "nested");
}

TEST_F(ExtractTest, ExtractWithPathJoinsWithOneSeparator)
{
    ArchiveWriter writer;
    writer.add(entryIn("\\sub\\inner\\", "a.txt", "A"));
    writer.add(entryIn("plain\\", "b.txt", "B"));
    ASSERT_TRUE(m_archive.OpenArchive(write(writer)));
    m_archive.SetExtractWithPath(true);
    std::vector<QString> extracted;
    m_archive.SetOnFileExtracted([&](const QString &name) { extracted.push_back(name); });
    const QString out = path("out") + "//";
    m_archive.ExtractFile(out, "\\sub\\inner\\a.txt");
    EXPECT_EQ(readFile(path("out/sub/inner/a.txt")), "A");
    // A destination without its separator still gets one before the entry's folder.
    m_archive.ExtractFile(path("out"), "plain\\b.txt");
    EXPECT_EQ(readFile(path("out/plain/b.txt")), "B");
    EXPECT_FALSE(QFileInfo::exists(path("outplain")));
    // The event names the destination as passed, directly followed by the name.
    EXPECT_EQ(extracted, (std::vector<QString>{out + "a.txt", path("out") + "b.txt"}));
}

TEST_F(ExtractTest, StoredEntryIsCopiedByteForByte)
{
    QByteArray binary;
    for (int i = 0; i < 10000; ++i)
        binary.append(static_cast<char>((i * 131) & 0xFF));
    ArchiveWriter writer;
    writer.addFile("scan.bin", binary, true);
    ASSERT_TRUE(m_archive.OpenArchive(write(writer)));
    m_archive.SetCheckCRC(true);
    m_archive.ExtractFile(path("out/"), "scan.bin");
    EXPECT_EQ(readFile(path("out/scan.bin")), binary);
}

TEST_F(ExtractTest, StoredBlockPastTheEndGivesAShorterFileWithoutMessage)
{
    ArchiveWriter writer;
    ArchiveWriter::Entry entry;
    entry.FileName = "cut.bin";
    entry.content = sampleContent(100);
    entry.Stored = true;
    entry.FileSize = 1000000;
    entry.DataOffset = 0;
    writer.add(entry);
    const QByteArray bytes = writer.build();
    ASSERT_TRUE(m_archive.OpenArchive(writeBytes(bytes)));
    m_archive.ExtractFile(path("out/"), "cut.bin");
    // The block runs to the end of the file, trailer included, and stops there.
    EXPECT_EQ(readFile(path("out/cut.bin")), bytes);
    m_archive.SetCheckCRC(true);
    EXPECT_EQ(archiveErrorOf([&] { m_archive.ExtractFile(path("out/"), "cut.bin"); }),
              "File (0) failed CRC check");
}

TEST_F(ExtractTest, ZeroSizeEntryGivesAnEmptyFileAndReadsNothing)
{
    ArchiveWriter writer;
    ArchiveWriter::Entry entry;
    entry.FileName = "empty.txt";
    entry.DataOffset = -5; // never visited
    writer.add(entry);
    ASSERT_TRUE(m_archive.OpenArchive(write(writer)));
    std::vector<int> percents;
    m_archive.SetOnProgress([&](const QString &msg, int percent) {
        if (msg.startsWith("Extracting"))
            percents.push_back(percent);
    });
    m_archive.SetCheckCRC(true);
    m_archive.ExtractFile(path("out/"), "empty.txt");
    EXPECT_TRUE(QFileInfo::exists(path("out/empty.txt")));
    EXPECT_EQ(readFile(path("out/empty.txt")), "");
    EXPECT_TRUE(percents.empty());
}

TEST_F(ExtractTest, ExistingFileIsOverwrittenWithoutHandler)
{
    openOverExistingFile("Report.HL7");
    m_archive.ExtractFile(path("out/"), "report.hl7");
    EXPECT_EQ(readFile(path("out/Report.HL7")), "new");
}

TEST_F(ExtractTest, ReplaceHandlerDecides)
{
    openOverExistingFile("Report.HL7");
    std::vector<QString> asked;
    int extracted = 0;
    bool answer = false;
    m_archive.SetOnReplaceFile([&](const QString &name, bool &replace) {
        EXPECT_FALSE(replace);
        asked.push_back(name);
        replace = answer;
    });
    m_archive.SetOnFileExtracted([&](const QString &) { ++extracted; });
    m_archive.ExtractFile(path("out/"), "Report.HL7");
    EXPECT_EQ(readFile(path("out/Report.HL7")), "old and longer");
    EXPECT_EQ(extracted, 0);
    answer = true;
    m_archive.ExtractFile(path("out/"), "Report.HL7");
    EXPECT_EQ(readFile(path("out/Report.HL7")), "new");
    EXPECT_EQ(extracted, 1);
    EXPECT_EQ(asked, (std::vector<QString>{path("out/Report.HL7"), path("out/Report.HL7")}));
    // A new file asks nothing.
    QFile::remove(path("out/Report.HL7"));
    m_archive.ExtractFile(path("out/"), "Report.HL7");
    EXPECT_EQ(asked.size(), 2u);
}

TEST_F(ExtractTest, FileThatExistsUnderAnotherCaseIsTheOneReplaced)
{
    openOverExistingFile("REPORT.hl7");
    m_archive.ExtractFile(path("out/"), "Report.HL7");
    EXPECT_EQ(QDir(path("out")).entryList(QDir::Files), QStringList{"REPORT.hl7"});
    EXPECT_EQ(readFile(path("out/REPORT.hl7")), "new");
}

TEST_F(ExtractTest, CrcFailureOnlyWithCheckCRC)
{
    ASSERT_TRUE(m_archive.OpenArchive(write(goodAndBadCrc())));
    m_archive.ExtractFile(path("out/"), "bad.txt");
    EXPECT_EQ(readFile(path("out/bad.txt")), "bad content");
    m_archive.SetCheckCRC(true);
    m_archive.ExtractFile(path("out/"), "good.txt");
    EXPECT_EQ(archiveErrorOf([&] { m_archive.ExtractFile(path("out2/"), "bad.txt"); }),
              "File (1) failed CRC check");
    // The partly written file stays and the archive stays open.
    EXPECT_EQ(readFile(path("out2/bad.txt")), "bad content");
    EXPECT_EQ(m_archive.GetFileCount(), 2);
}

TEST_F(ExtractTest, ExtractionReportsProgressPerChunk)
{
    ArchiveWriter writer;
    writer.addFile("Big.dat", sampleContent(10000));
    const QString file = write(writer);
    ASSERT_TRUE(m_archive.OpenArchive(file));
    std::vector<std::pair<QString, int>> reports;
    m_archive.SetOnProgress([&](const QString &msg, int percent) { reports.emplace_back(msg, percent); });
    m_archive.ExtractFile(path("out/"), "big.dat");
    // 4096 and 8192 of 10000 bytes: 40.96 and 81.92 per cent.
    const std::vector<std::pair<QString, int>> expected = {
        {"Extracting Big.dat", 41}, {"Extracting Big.dat", 82}, {"Extracting Big.dat", 100}, {file, 0}};
    EXPECT_EQ(reports, expected);
}

TEST_F(ExtractTest, FailingProgressHandlerMakesTheEntryCorrupt)
{
    ArchiveWriter writer;
    writer.addFile("a.txt", "abc");
    ASSERT_TRUE(m_archive.OpenArchive(write(writer)));
    m_archive.SetOnProgress([](const QString &msg, int) {
        if (msg.startsWith("Extracting"))
            throw std::runtime_error("stop");
    });
    EXPECT_EQ(archiveErrorOf([&] { m_archive.ExtractFile(path("out/"), "a.txt"); }), "File (0) is corrupt");
}

TEST_F(ExtractTest, ArchiveRemovedAfterOpeningCannotBeOpenedForExtraction)
{
    ArchiveWriter writer;
    writer.addFile("a.txt", "abc");
    const QString file = write(writer);
    ASSERT_TRUE(m_archive.OpenArchive(file));
    QFile::remove(file);
    EXPECT_EQ(archiveErrorOf([&] { m_archive.ExtractFile(path("out/"), "a.txt"); }),
              QString("Unable to open file (%1)").arg(file));
}

TEST_F(ExtractTest, DestinationThatCannotBeAFolder)
{
    ArchiveWriter writer;
    writer.addFile("a.txt", "abc");
    ASSERT_TRUE(m_archive.OpenArchive(write(writer)));
    writeBytes("a file, not a folder", "blocker");
    EXPECT_EQ(archiveErrorOf([&] { m_archive.ExtractFile(path("blocker/"), "a.txt"); }),
              "Unable to create destination path");
    EXPECT_EQ(archiveErrorOf([&] { m_archive.ExtractFile(QString(), "a.txt"); }),
              "Unable to create destination path");
}

TEST_F(ExtractTest, ListFolderFilesPutsSubfoldersFirst)
{
    QDir().mkpath(path("tree/b/inner"));
    writeBytes("1", "tree/a.txt");
    writeBytes("2", "tree/b/c.txt");
    writeBytes("3", "tree/b/inner/d.txt");
    const QString root = path("tree");
    QStringList flat;
    m_archive.ListFolderFiles(root + "/", flat);
    EXPECT_EQ(flat, QStringList{root + "/a.txt"});
    m_archive.SetRecursePaths(true);
    m_archive.SetSavePaths(true);
    QStringList all{"kept"};
    m_archive.ListFolderFiles(root, all);
    EXPECT_EQ(all, (QStringList{"kept", root + "/b/inner/d.txt", root + "/b/c.txt", root + "/b/inner",
                                root + "/a.txt", root + "/b"}));
}

TEST_F(ExtractTest, TempFileNamesAreNewFiles)
{
    const QString first = m_archive.MakeTempFileName();
    const QString second = m_archive.MakeTempFileName();
    EXPECT_NE(first, second);
    EXPECT_TRUE(QFileInfo(first).fileName().startsWith("ZLB"));
    EXPECT_TRUE(QFileInfo::exists(first));
    QFile::remove(first);
    QFile::remove(second);
}

} // namespace
