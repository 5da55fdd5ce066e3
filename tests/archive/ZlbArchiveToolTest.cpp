#include "tests/archive/ArchiveFixture.h"

#include <QProcess>

namespace {

struct ToolResult
{
    int exitCode = -1;
    QString out;
    QString err;
};

class ToolTest : public ArchiveFixture
{
protected:
    ToolResult run(const QStringList &arguments)
    {
        QProcess process;
        process.start(QStringLiteral(ZLBARCHIVE_PROGRAM), arguments);
        EXPECT_TRUE(process.waitForFinished(60000));
        return {process.exitCode(), QString::fromLocal8Bit(process.readAllStandardOutput()),
                QString::fromLocal8Bit(process.readAllStandardError())};
    }

    QString sampleArchive()
    {
        ArchiveWriter writer;
        writer.addFile("Report.HL7", "MSH|result");
        ArchiveWriter::Entry nested;
        nested.FilePath = "sub\\";
        nested.FileName = "scan.pit";
        nested.content = "scan";
        nested.Stored = true;
        writer.add(nested);
        return write(writer);
    }
};

TEST_F(ToolTest, ListsOneLinePerEntry)
{
    const ToolResult result = run({"list", sampleArchive()});
    EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
    const QString expected = QString("Report.HL7\t10\tcompressed\t%1\nsub\\scan.pit\t4\tstored\t%2\n")
                                 .arg(ArchiveWriter::crc("MSH|result"), 8, 16, QLatin1Char('0'))
                                 .arg(ArchiveWriter::crc("scan"), 8, 16, QLatin1Char('0'));
    EXPECT_EQ(result.out, expected);
}

TEST_F(ToolTest, TestsEveryEntry)
{
    EXPECT_EQ(run({"test", sampleArchive()}).exitCode, 0);
    const ToolResult result = run({"test", write(goodAndBadCrc(), "bad.zlb")});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, "File (1) failed CRC check\n");
}

TEST_F(ToolTest, ExtractsByNameIgnoringCase)
{
    const ToolResult result = run({"extract", sampleArchive(), "report.hl7", path("out")});
    EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
    EXPECT_EQ(readFile(path("out/Report.HL7")), "MSH|result");
    const ToolResult missing = run({"extract", sampleArchive(), "scan.pit", path("out")});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_EQ(missing.err, "File not found in archive\n");
}

TEST_F(ToolTest, ReportsTheReadersMessagesAndUsage)
{
    const ToolResult missing = run({"list", path("none.zlb")});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_EQ(missing.err, "Archive file not found\n");
    writeBytes("short", "short.zlb");
    EXPECT_EQ(run({"test", path("short.zlb")}).err, "The archive file appears to be corrupted\n");
    const ToolResult usage = run({"extract", sampleArchive()});
    EXPECT_EQ(usage.exitCode, 2);
    EXPECT_TRUE(usage.err.startsWith("Usage: zlbarchive")) << usage.err.toStdString();
    EXPECT_EQ(run({}).exitCode, 2);
}

} // namespace
