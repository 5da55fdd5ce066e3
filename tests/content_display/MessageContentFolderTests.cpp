#include "tests/content_display/ContentDisplayFixture.h"

#include <QFileInfo>

#include <algorithm>
#include <cctype>

namespace {

QString notAvailable(const QString &userPath, const QString &practiceId, const QString &messageId)
{
    return "Message contents for " + userPath + "mailboxes/" + practiceId + "/holding/" + messageId +
           " not available.";
}

TEST_F(ContentDisplayFixture, MailboxEntryIsExtractedAndOpenedUnderItsNameOnDisk)
{
    ArchiveWriter writer;
    writer.addFile("Other.txt", "not this one");
    writer.addFile("Report.HL7", binaryContent());
    writer.addFile("Stored.pdf", "stored entry", true);
    writeArchive("prac1", "msg1.ZLB", writer);

    const MessageContentOutcome outcome = show(messageRow("MSG1", "report.hl7", "PRAC1"));

    EXPECT_EQ(outcome.Message, QString());
    EXPECT_EQ(outcome.ContentPath, display().PrivateFolder() + "Report.HL7");
    EXPECT_EQ(readFile(outcome.ContentPath), binaryContent());
    EXPECT_EQ(m_tempFiles, QStringList{outcome.ContentPath});
    EXPECT_EQ(m_launches.desktop, QStringList{outcome.ContentPath});
    EXPECT_EQ(entriesOf(display().PrivateFolder()), QStringList{"Report.HL7"});
}

TEST_F(ContentDisplayFixture, FirstHoldingFileByNameIsTheArchive)
{
    ArchiveWriter first;
    first.addFile("AB12.HL7", "from the first", true);
    ArchiveWriter second;
    second.addFile("AB12.HL7", "from the second");
    writeArchive("PRAC1", "MSG1.b", second);
    writeArchive("PRAC1", "MSG1.a", first);
    writeArchive("PRAC1", "MSG10.0", second);

    const MessageContentOutcome outcome = show(messageRow("MSG1", "AB12.HL7", "PRAC1"));

    EXPECT_EQ(readFile(outcome.ContentPath), QByteArrayLiteral("from the first"));
}

// An archive of one compressed entry; blockBytes cuts its block short, archiveCRC spoils the trailer.
ArchiveWriter oneEntry(const QByteArray &fileName, const QByteArray &filePath, const QByteArray &content,
                       qsizetype blockBytes = -1, std::optional<quint32> archiveCRC = {})
{
    ArchiveWriter::Entry entry;
    entry.FileName = fileName;
    entry.FilePath = filePath;
    entry.content = content;
    entry.blockBytes = blockBytes;
    ArchiveWriter writer;
    writer.add(entry);
    if (archiveCRC)
        writer.setArchiveCRC(*archiveCRC);
    return writer;
}

struct ArchiveFailureCase
{
    const char *name;
    ArchiveWriter archive;
    const char *message;
};

class ArchiveFailureTest : public ContentDisplayFixture,
                           public ::testing::WithParamInterface<ArchiveFailureCase>
{
};

TEST_P(ArchiveFailureTest, GivesTheReadersMessageAndOpensNothing)
{
    writeArchive("PRAC1", "MSG1.zlb", GetParam().archive);

    const MessageContentOutcome outcome = show(messageRow("MSG1", "AB12.HL7", "PRAC1"));

    EXPECT_EQ(outcome.Message, QString::fromUtf8(GetParam().message));
    EXPECT_EQ(outcome.ContentPath, QString());
    EXPECT_TRUE(m_launches.desktop.isEmpty());
    EXPECT_TRUE(m_tempFiles.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ArchiveFailureTest,
    ::testing::Values(
        ArchiveFailureCase{"EntryMissing", oneEntry("AB12.PIT", {}, "other file"),
                           "The compressed data file to open: File not found in archive"},
        ArchiveFailureCase{"EntryOnlyInASubfolder", oneEntry("AB12.HL7", "sub\\", "in a folder"),
                           "The compressed data file to open: File not found in archive"},
        ArchiveFailureCase{"Corrupted", oneEntry("AB12.HL7", {}, "content", -1, 0x12345678),
                           "The compressed data file to open: The archive file appears to be corrupted"},
        ArchiveFailureCase{"ContentCorrupt", oneEntry("AB12.HL7", {}, QByteArray(9000, 'x'), 4),
                           "The compressed data file to open: File (0) is corrupt"}),
    [](const ::testing::TestParamInfo<ArchiveFailureCase> &info) { return std::string(info.param.name); });

TEST_F(ContentDisplayFixture, NoHoldingFileGivesTheMailboxMessage)
{
    writeArchive("PRAC1", "MSG2.zlb", ArchiveWriter().addFile("AB12.HL7", "another message"));
    writeArchive("PRAC2", "MSG1.zlb", ArchiveWriter().addFile("AB12.HL7", "another practice"));

    const MessageContentOutcome outcome = show(messageRow("MSG1", "AB12.HL7", "PRAC1"));

    EXPECT_EQ(outcome.Message, notAvailable(folders().UserPath, "PRAC1", "MSG1"));
    EXPECT_TRUE(m_launches.desktop.isEmpty());
}

TEST_F(ContentDisplayFixture, PracticeIdCannotLeadOutOfTheMailboxes)
{
    writeArchive("PRAC1", "MSG2.zlb", ArchiveWriter().addFile("AB12.HL7", "inside"));
    m_root.makeFolder(QStringLiteral("outside/holding"));
    ArchiveWriter().addFile("AB12.HL7", "outside").writeTo(m_root.filePath("outside/holding/MSG1.zlb"));

    const MessageContentOutcome outcome = show(messageRow("MSG1", "AB12.HL7", "../../outside"));

    EXPECT_EQ(outcome.Message, notAvailable(folders().UserPath, "../../outside", "MSG1"));
    EXPECT_TRUE(m_launches.desktop.isEmpty());
}

struct UndeliverableCase
{
    const char *folderOnDisk;
    const char *fileOnDisk;
};

class UndeliverableTest : public ContentDisplayFixture,
                          public ::testing::WithParamInterface<UndeliverableCase>
{
};

TEST_P(UndeliverableTest, FileFoundByTheWildcardIsOpenedInPlace)
{
    const QString path = writeUndeliverable(GetParam().fileOnDisk, binaryContent(), GetParam().folderOnDisk);
    writeUndeliverable("AB1.HL7", "shorter stem", GetParam().folderOnDisk);
    writeUndeliverable("AB12_001.PIT", "other extension", GetParam().folderOnDisk);

    const MessageContentOutcome outcome =
        show(messageRow("MSG1", "AB12.HL7", "PRAC1", DeliveryState::Undeliverable));

    EXPECT_EQ(outcome.Message, QString());
    EXPECT_EQ(outcome.ContentPath, path);
    EXPECT_EQ(m_launches.desktop, QStringList{path});
    EXPECT_EQ(readFile(path), binaryContent());
    EXPECT_TRUE(m_tempFiles.isEmpty());
    EXPECT_TRUE(entriesOf(display().PrivateFolder()).isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Names, UndeliverableTest,
                         ::testing::Values(UndeliverableCase{"undeliverable", "ab12_001.hl7"},
                                           UndeliverableCase{"undeliverable", "AB12_001.HL7"},
                                           UndeliverableCase{"undeliverable", "Ab12.Hl7"},
                                           UndeliverableCase{"Undeliverable", "ab12_001.hl7"},
                                           UndeliverableCase{"UNDELIVERABLE", "aB12x.hL7"}),
                         [](const ::testing::TestParamInfo<UndeliverableCase> &info) {
                             std::string name =
                                 std::string(info.param.folderOnDisk) + '_' + info.param.fileOnDisk;
                             std::replace_if(
                                 name.begin(), name.end(), [](char c) { return !std::isalnum(c); }, '_');
                             return name;
                         });

TEST_F(ContentDisplayFixture, UndeliverableRowNeverOpensTheMailboxArchive)
{
    writeArchive("PRAC1", "MSG1.zlb", ArchiveWriter().addFile("AB12.HL7", "archived"));
    m_root.makeFolder(QStringLiteral("user/undeliverable"));

    const MessageContentOutcome outcome =
        show(messageRow("MSG1", "AB12.HL7", "PRAC1", DeliveryState::Undeliverable));

    EXPECT_EQ(outcome.Message, notAvailable(folders().UserPath, "PRAC1", "MSG1"));
    EXPECT_TRUE(m_tempFiles.isEmpty());
}

TEST_F(ContentDisplayFixture, UndeliverableRowWithoutAFileNameMatchesNoOtherMessage)
{
    writeUndeliverable("XY99_001.HL7", "someone else's result");

    const MessageContentOutcome outcome = show(messageRow("MSG1", "", "PRAC1", DeliveryState::Undeliverable));

    EXPECT_EQ(outcome.Message, notAvailable(folders().UserPath, "PRAC1", "MSG1"));
    EXPECT_TRUE(m_launches.desktop.isEmpty());
}

TEST_F(ContentDisplayFixture, MatchThatIsNoFileGivesContentsNotAvailable)
{
    m_root.makeFolder(QStringLiteral("user/undeliverable/ab12_old.hl7"));

    const MessageContentOutcome outcome =
        show(messageRow("MSG1", "AB12.HL7", "PRAC1", DeliveryState::Undeliverable));

    EXPECT_EQ(outcome.Message, QStringLiteral("Message contents not available."));
    EXPECT_TRUE(m_launches.desktop.isEmpty());
}

} // namespace
