#include "tests/content_display/ContentDisplayFixture.h"
#include "tests/support/DesktopOpenerPath.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString MailboxMessage =
    QStringLiteral("Message contents for %1mailboxes/PRAC1/holding/MSG1 not available.");

int modeBitsOf(const QString &path)
{
    struct stat info
    {
    };
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return -1;
    return static_cast<int>(info.st_mode & 07777);
}

ArchiveWriter oneEntryArchive(const QByteArray &name, const QByteArray &content)
{
    ArchiveWriter writer;
    writer.addFile(name, content);
    return writer;
}

TEST_F(ContentDisplayFixture, StoredContentIsWrittenAndOpenedWhenNoMailboxFileExists)
{
    storeContent(QStringLiteral("MSG1"), binaryContent());

    const MessageContentOutcome outcome = show(messageRow("MSG1", "AB12.HL7", "PRAC1"));

    EXPECT_EQ(outcome.Message, QString());
    EXPECT_EQ(outcome.ContentPath, display().PrivateFolder() + "AB12.HL7");
    EXPECT_EQ(readFile(outcome.ContentPath), binaryContent());
    EXPECT_EQ(m_launches.desktop, QStringList{outcome.ContentPath});
    EXPECT_TRUE(m_launches.renderer.isEmpty());
    EXPECT_EQ(m_tempFiles, QStringList{outcome.ContentPath});
}

TEST_F(ContentDisplayFixture, StoredContentComesBeforeTheMailboxArchive)
{
    storeContent(QStringLiteral("MSG1"), QByteArrayLiteral("stored copy"));
    writeArchive("PRAC1", "MSG1.zlb", oneEntryArchive("AB12.HL7", "archived copy"));

    const MessageContentOutcome outcome = show(messageRow("MSG1", "AB12.HL7", "PRAC1"));

    EXPECT_EQ(outcome.Message, QString());
    EXPECT_EQ(readFile(outcome.ContentPath), QByteArrayLiteral("stored copy"));
}

// Mended fault: a message stored twice (a redelivered file) showed whichever copy came first.
TEST_F(ContentDisplayFixture, OfSeveralStoredCopiesTheNewestIsShown)
{
    storeContent(QStringLiteral("MSG1"), QByteArrayLiteral("first copy"));
    storeContent(QStringLiteral("msg1"), QByteArrayLiteral("second copy"));
    storeContent(QStringLiteral("MSG1"), QByteArrayLiteral("newest copy"));

    const MessageContentOutcome outcome = show(messageRow("MSG1", "AB12.HL7", "PRAC1"));

    EXPECT_EQ(readFile(outcome.ContentPath), QByteArrayLiteral("newest copy"));
}

TEST_F(ContentDisplayFixture, StoredContentIsWrittenAgainOnEveryDisplay)
{
    storeContent(QStringLiteral("MSG1"), QByteArrayLiteral("stored copy"));
    const QString path = show(messageRow("MSG1", "AB12.HL7", "PRAC1")).ContentPath;
    QFile::remove(path);

    const MessageContentOutcome again = show(messageRow("MSG1", "AB12.HL7", "PRAC1"));

    EXPECT_EQ(again.ContentPath, path);
    EXPECT_EQ(readFile(path), QByteArrayLiteral("stored copy"));
    EXPECT_EQ(m_tempFiles, QStringList{path});
}

enum class MissingContent
{
    NullHMData,
    NoRow,
    NoTable
};

class StoredContentMissingTest : public ContentDisplayFixture,
                                 public ::testing::WithParamInterface<MissingContent>
{
protected:
    void SetUp() override
    {
        switch (GetParam()) {
        case MissingContent::NullHMData:
            storeContent(QStringLiteral("MSG1"), std::nullopt);
            break;
        case MissingContent::NoRow:
            storeContent(QStringLiteral("MSG2"), QByteArrayLiteral("another message"));
            break;
        case MissingContent::NoTable:
            m_db.execute(QStringLiteral("drop table HM_CONTENT"));
            break;
        }
    }
};

TEST_P(StoredContentMissingTest, FallsThroughToTheMailboxArchiveSilently)
{
    writeArchive("PRAC1", "MSG1.zlb", oneEntryArchive("AB12.HL7", "archived copy"));

    const MessageContentOutcome outcome = show(messageRow("MSG1", "AB12.HL7", "PRAC1"));

    EXPECT_EQ(outcome.Message, QString());
    EXPECT_EQ(readFile(outcome.ContentPath), QByteArrayLiteral("archived copy"));
    EXPECT_EQ(m_launches.desktop, QStringList{outcome.ContentPath});
}

TEST_P(StoredContentMissingTest, WithNothingInTheFoldersOnlyTheFolderMessageIsGiven)
{
    const MessageContentOutcome outcome = show(messageRow("MSG1", "AB12.HL7", "PRAC1"));

    EXPECT_EQ(outcome.Message, MailboxMessage.arg(folders().UserPath));
    EXPECT_EQ(outcome.ContentPath, QString());
    EXPECT_TRUE(m_launches.desktop.isEmpty());
    EXPECT_TRUE(entriesOf(display().PrivateFolder()).isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Cases, StoredContentMissingTest,
                         ::testing::Values(MissingContent::NullHMData, MissingContent::NoRow,
                                           MissingContent::NoTable));

TEST_F(ContentDisplayFixture, RendererInTheProgramFolderIsStartedWithTheTwoArguments)
{
    m_importPath = m_root.makeFolder(QStringLiteral("import dir"));
    const QString renderer =
        m_root.writeFile(QStringLiteral("app/hmrender"),
                         "#!/bin/sh\n"
                         "out=\"$(dirname \"$0\")/args\"\n"
                         "printf '%s\\n' \"$@\" > \"$out.tmp\" && mv \"$out.tmp\" \"$out.txt\"\n");
    QFile::setPermissions(renderer, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    storeContent(QStringLiteral("MSG1"), binaryContent());

    const MessageContentOutcome outcome =
        display(true).DisplayResult(messageRow("MSG1", "AB12.HL7", "PRAC1"));

    EXPECT_EQ(outcome.Message, QString());
    const QString argsFile = m_root.filePath(QStringLiteral("app/args.txt"));
    ASSERT_TRUE(waitUntil([&] { return QFileInfo::exists(argsFile); }, 10000));
    const QString expected = outcome.ContentPath + u'\n' + "Quazor Outbound:" + m_importPath + u'\n';
    EXPECT_EQ(QString::fromUtf8(readFile(argsFile)), expected);
}

TEST_F(ContentDisplayFixture, EmptyImportPathStillGivesTheSecondArgument)
{
    m_importPath.clear();
    m_root.writeFile(QStringLiteral("app/hmrender"), "renderer");
    storeContent(QStringLiteral("MSG1"), binaryContent());

    const MessageContentOutcome outcome = show(messageRow("MSG1", "AB12.HL7", "PRAC1"));

    const QStringList expected{folders().AppPath + "hmrender", outcome.ContentPath, "Quazor Outbound:"};
    EXPECT_EQ(m_launches.renderer, QList<QStringList>{expected});
    EXPECT_TRUE(m_launches.desktop.isEmpty());
}

TEST_F(ContentDisplayFixture, PrivateFolderIsOwnerOnlyAndGoesWithItsFilesAtClose)
{
    const QString privateFolder = display().PrivateFolder();
    ASSERT_FALSE(privateFolder.isEmpty());
    EXPECT_EQ(QFileInfo(privateFolder.chopped(1)).absolutePath() + u'/', folders().TempPath);
    EXPECT_EQ(modeBitsOf(privateFolder), 0700);

    storeContent(QStringLiteral("MSG1"), QByteArrayLiteral("stored"));
    writeArchive("PRAC1", "MSG2.zlb", oneEntryArchive("CD34.HL7", "archived"));
    const QString written = show(messageRow("MSG1", "AB12.HL7", "PRAC1")).ContentPath;
    const QString extracted = show(messageRow("MSG2", "CD34.HL7", "PRAC1")).ContentPath;
    EXPECT_EQ(m_tempFiles, (QStringList{written, extracted}));

    display().DeleteTempFiles();

    EXPECT_FALSE(QFileInfo::exists(written));
    EXPECT_FALSE(QFileInfo::exists(extracted));
    EXPECT_TRUE(m_tempFiles.isEmpty());
    EXPECT_TRUE(entriesOf(folders().TempPath).isEmpty());
}

TEST_F(ContentDisplayFixture, PrivateFolderRemovedByACleanerIsMadeAgain)
{
    QDir(display().PrivateFolder()).removeRecursively();
    storeContent(QStringLiteral("MSG1"), QByteArrayLiteral("stored"));

    const MessageContentOutcome outcome = show(messageRow("MSG1", "AB12.HL7", "PRAC1"));

    EXPECT_EQ(readFile(outcome.ContentPath), QByteArrayLiteral("stored"));
    EXPECT_EQ(modeBitsOf(QFileInfo(outcome.ContentPath).absolutePath()), 0700);
}

TEST_F(ContentDisplayFixture, ExtractedEntryReplacesAnEarlierFileOfTheSameNameInAnotherCase)
{
    storeContent(QStringLiteral("MSG1"), QByteArrayLiteral("first message"));
    writeArchive("PRAC1", "MSG2.zlb", oneEntryArchive("AB12.HL7", "second message"));
    const QString first = show(messageRow("MSG1", "ab12.hl7", "PRAC1")).ContentPath;

    const MessageContentOutcome second = show(messageRow("MSG2", "AB12.HL7", "PRAC1"));

    EXPECT_EQ(second.Message, QString());
    EXPECT_EQ(second.ContentPath, first);
    EXPECT_EQ(readFile(second.ContentPath), QByteArrayLiteral("second message"));
    EXPECT_EQ(entriesOf(display().PrivateFolder()), QStringList{"ab12.hl7"});
}

class UnsafeFileNameTest : public ContentDisplayFixture, public ::testing::WithParamInterface<const char *>
{
};

TEST_P(UnsafeFileNameTest, StoredContentStaysInsideThePrivateFolder)
{
    storeContent(QStringLiteral("MSG1"), QByteArrayLiteral("stored"));

    const MessageContentOutcome outcome = show(messageRow("MSG1", GetParam(), "PRAC1"));

    EXPECT_EQ(outcome.ContentPath, display().PrivateFolder() + "escape.hl7");
    EXPECT_EQ(entriesOf(display().PrivateFolder()), QStringList{"escape.hl7"});
    EXPECT_EQ(entriesOf(folders().TempPath).size(), 1);
    EXPECT_FALSE(m_root.exists(QStringLiteral("escape.hl7")));
}

INSTANTIATE_TEST_SUITE_P(Names, UnsafeFileNameTest,
                         ::testing::Values("../escape.hl7", "../../escape.hl7", "..\\..\\escape.hl7",
                                           "C:\\Quazor\\out\\escape.hl7", "/etc/escape.hl7"));

class NamelessFileTest : public ContentDisplayFixture, public ::testing::WithParamInterface<const char *>
{
};

TEST_P(NamelessFileTest, StoredContentWithoutAFileNameFallsThroughToTheFolders)
{
    storeContent(QStringLiteral("MSG1"), QByteArrayLiteral("stored"));

    const MessageContentOutcome outcome = show(messageRow("MSG1", GetParam(), "PRAC1"));

    EXPECT_EQ(outcome.Message, MailboxMessage.arg(folders().UserPath));
    EXPECT_TRUE(entriesOf(display().PrivateFolder()).isEmpty());
    EXPECT_TRUE(m_tempFiles.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Names, NamelessFileTest, ::testing::Values("", ".", "..", "../", "sub\\"));

} // namespace

namespace {

// Mended fault: a renderer that could not start, or a desktop without a program for the file, left the
// user waiting for a window that never came.
TEST_F(ContentDisplayFixture, RendererThatCannotStartIsSaidNamingTheFile)
{
    m_root.writeFile(QStringLiteral("app/hmrender"), "not executable"); // mode 0644: exec fails
    storeContent(QStringLiteral("MSG1"), binaryContent());

    const MessageContentOutcome outcome =
        display(true).DisplayResult(messageRow("MSG1", "AB12.HL7", "PRAC1"));

    ASSERT_FALSE(outcome.ContentPath.isEmpty());
    EXPECT_EQ(outcome.Message, QStringLiteral("The renderer %1 could not be started to open %2.")
                                   .arg(folders().AppPath + "hmrender", outcome.ContentPath));
}

TEST_F(ContentDisplayFixture, DesktopWithoutAProgramForTheFileIsSaidNamingTheFile)
{
    storeContent(QStringLiteral("MSG1"), binaryContent());
    for (const int status : {3, 4, DesktopOpenerPath::NoOpener}) {
        const DesktopOpenerPath noProgram(status);
        const MessageContentOutcome outcome =
            display(true).DisplayResult(messageRow("MSG1", "AB12.HL7", "PRAC1"));
        ASSERT_FALSE(outcome.ContentPath.isEmpty());
        EXPECT_EQ(outcome.Message, noProgramOpenedText(outcome.ContentPath)) << status;
        if (status != DesktopOpenerPath::NoOpener) {
            EXPECT_EQ(noProgram.openedFiles(), outcome.ContentPath.toLocal8Bit() + '\n');
        }
    }
}

TEST_F(ContentDisplayFixture, DesktopThatOpensTheFileSaysNothing)
{
    storeContent(QStringLiteral("MSG1"), binaryContent());
    const DesktopOpenerPath opener(0);
    const MessageContentOutcome outcome = display(true).DisplayResult(messageRow("MSG1", "AB12.HL7", "PRAC1"));
    EXPECT_EQ(outcome.Message, QString());
    EXPECT_EQ(opener.openedFiles(), outcome.ContentPath.toLocal8Bit() + '\n');
}

// The id of a process that has ended.
qint64 endedProcessId()
{
    QProcess process;
    process.start(QStringLiteral("/bin/true"));
    process.waitForFinished();
    return process.processId() > 0 ? process.processId() : qint64(999999);
}

QString makePrivateFolder(const QString &path)
{
    QDir().mkpath(path);
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QFile file(path + QStringLiteral("/left.hl7"));
    file.open(QIODevice::WriteOnly);
    file.write("patient data");
    return path;
}

// Mended fault: a viewer that was killed left its folder of patients' results for good.
TEST_F(ContentDisplayFixture, FoldersOfEndedViewersGoAtTheNextStartOthersStay)
{
    const QString temp = folders().TempPath;
    const qint64 ended = endedProcessId();
    const QString left = makePrivateFolder(temp + QStringLiteral("OVTrack-%1-Ab3dE9").arg(ended));
    const QString running = makePrivateFolder(temp + QStringLiteral("OVTrack-%1-Ab3dE9").arg(::getppid()));
    const QString notOurs = makePrivateFolder(temp + QStringLiteral("OVTrack-notes"));
    const QString shared = makePrivateFolder(temp + QStringLiteral("OVTrack-%1-Zz9zZ9").arg(ended));
    QFile::setPermissions(shared, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther |
                                      QFile::ExeOther);

    const QString made = display().PrivateFolder();

    EXPECT_FALSE(QFileInfo::exists(left));
    EXPECT_TRUE(QFileInfo::exists(running));
    EXPECT_TRUE(QFileInfo::exists(notOurs));
    EXPECT_TRUE(QFileInfo::exists(shared)); // not made private by a viewer: not ours to remove
    EXPECT_TRUE(QFileInfo(made).fileName().isEmpty());
    EXPECT_TRUE(QFileInfo(made.chopped(1)).fileName().startsWith(QStringLiteral("OVTrack-%1-").arg(::getpid())));

    // The folder a viewer makes is recognised once its process has ended.
    const QString renamed = temp + QFileInfo(made.chopped(1)).fileName().replace(
                                       QStringLiteral("-%1-").arg(::getpid()), QStringLiteral("-%1-").arg(ended));
    ASSERT_TRUE(QDir().rename(made.chopped(1), renamed));
    EXPECT_EQ(MessageContentTempFolder::RemoveLeftOvers(temp), QStringList{renamed});
    EXPECT_FALSE(QFileInfo::exists(renamed));
}

} // namespace
