#include "shared/config/DataLinkFile.h"

#include "tests/support/TestFolder.h"

#include <gtest/gtest.h>

namespace {

QByteArray utf16le(const char *ascii)
{
    QByteArray bytes;
    for (const char *p = ascii; *p; ++p) {
        bytes.append(*p);
        bytes.append('\0');
    }
    return bytes;
}

TEST(DataLinkFileTest, ViewerDefaultFileByteForByte)
{
    const QByteArray expected =
        QByteArray("\xFF\xFE", 2) +
        utf16le("[oledb]\r\n; Everything after this line is an OLE DB initstring\r\n"
                "Provider=SQLOLEDB.1;Integrated Security=SSPI;Persist Security Info=False;"
                "Initial Catalog=QZ2Tracking;Data Source=XXXXX;");
    EXPECT_EQ(dataLinkFileBytes(DefaultViewerInitString), expected);
    EXPECT_FALSE(expected.endsWith(utf16le("\r\n"))); // no line break after the last line

    TestFolder folder;
    writeDataLinkFile(folder.filePath("qztrack.udl"), DefaultViewerInitString);
    EXPECT_EQ(folder.readFile("qztrack.udl"), expected);
    EXPECT_EQ(readDataLinkFile(folder.filePath("qztrack.udl")), DefaultViewerInitString);
}

TEST(DataLinkFileTest, FileWrittenByAnotherToolIsRead)
{
    TestFolder folder;
    // No line break after the third line, and a trailing blank line variant.
    folder.writeFile("a.udl", QByteArray("\xFF\xFE", 2) +
                                  utf16le("[oledb]\r\n; Everything after this line is an OLE DB initstring\r\n"
                                          "Provider=SQLite;Data Source=t.db"));
    EXPECT_EQ(readDataLinkFile(folder.filePath("a.udl")), "Provider=SQLite;Data Source=t.db");
    folder.writeFile("b.udl", QByteArray("\xFF\xFE", 2) + utf16le("[oledb]\n; comment\nProvider=SQLite;Data Source=u.db\n\n"));
    EXPECT_EQ(readDataLinkFile(folder.filePath("b.udl")), "Provider=SQLite;Data Source=u.db");
}

// An administrator writes the file with an editor on the server.
TEST(DataLinkFileTest, FileInUtf8IsRead)
{
    TestFolder folder;
    folder.writeFile("plain.udl",
                     "[oledb]\n; written with an editor\n"
                     "Provider=SQLite;Data Source=/var/lib/ovtrack/tracking.db\n");
    EXPECT_EQ(readDataLinkFile(folder.filePath("plain.udl")),
              "Provider=SQLite;Data Source=/var/lib/ovtrack/tracking.db");
    folder.writeFile("marked.udl",
                     QByteArray("\xEF\xBB\xBF") +
                         QByteArray("[oledb]\r\n; x\r\nProvider=SQLite;Data Source=m\xC3\xBC.db\r\n"));
    EXPECT_EQ(readDataLinkFile(folder.filePath("marked.udl")),
              QStringLiteral("Provider=SQLite;Data Source=mü.db"));
}

TEST(DataLinkFileTest, BadFilesGiveClearErrors)
{
    TestFolder folder;
    folder.writeFile("latin1.udl", "[oledb]\r\n; x\r\nProvider=SQLite;Data Source=m\xFC.db\r\n");
    // UTF-16 without its mark: the NULs are no text.
    folder.writeFile("nobom.udl", utf16le("[oledb]\r\n; x\r\nProvider=SQLite;Data Source=t.db\r\n"));
    folder.writeFile("short.udl", QByteArray("\xFF\xFE", 2) + utf16le("[oledb]\r\n; x\r\n"));
    folder.writeFile("odd.udl", QByteArray("\xFF\xFE" "a", 3));
    auto messageOf = [&](const QString &name) -> std::string {
        try {
            readDataLinkFile(folder.filePath(name));
        } catch (const DataLinkError &e) {
            return e.what();
        }
        return "no error";
    };
    EXPECT_NE(messageOf("nobom.udl").find("byte-order mark"), std::string::npos);
    EXPECT_NE(messageOf("latin1.udl").find("UTF-8"), std::string::npos);
    EXPECT_NE(messageOf("short.udl").find("third line"), std::string::npos);
    EXPECT_NE(messageOf("odd.udl").find("not valid UTF-16"), std::string::npos);
    EXPECT_NE(messageOf("absent.udl").find("absent.udl"), std::string::npos);
    folder.writeFile("huge.udl", QByteArray("\xFF\xFE", 2) + QByteArray(200 * 1024, 'a'));
    EXPECT_NE(messageOf("huge.udl").find("too large"), std::string::npos);
    try {
        readDataLinkFile("/dev/zero"); // a name that never ends must not be read forever
        ADD_FAILURE() << "read";
    } catch (const DataLinkError &) {
    }
}

} // namespace
