#include "tests/support/ArchiveWriter.h"

#include <QCoreApplication>
#include <QDir>

#include <cstdio>

// Writes small archives of every kind the reader meets into a folder, as the seed corpus of the
// archive fuzz target.
int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (app.arguments().size() != 2) {
        std::fputs("Usage: archive_fuzz_seeds FOLDER\n", stderr);
        return 2;
    }
    const QDir folder(app.arguments().at(1));
    QDir().mkpath(folder.path());

    ArchiveWriter empty;
    empty.writeTo(folder.filePath("empty.zlb"));

    ArchiveWriter plain;
    plain.addFile("Report.HL7", "MSH|^~\\&|LAB|PRACTICE|result line\r");
    plain.addFile("scan.pit", "stored content", true);
    plain.writeTo(folder.filePath("plain-list.zlb"));

    ArchiveWriter packed = plain;
    packed.setCompressedList(true);
    packed.writeTo(folder.filePath("compressed-list.zlb"));

    ArchiveWriter paths;
    ArchiveWriter::Entry nested;
    nested.FilePath = "inbox\\2024\\";
    nested.FileName = "deep.txt";
    nested.content = QByteArray(3000, 'z');
    paths.add(nested);
    nested.FileName = "zero.txt";
    nested.content.clear();
    paths.add(nested);
    paths.setCompressedList(true);
    paths.writeTo(folder.filePath("paths.zlb"));

    ArchiveWriter badCrc;
    ArchiveWriter::Entry bad;
    bad.FileName = "bad.txt";
    bad.content = "bad content";
    bad.FileCRC = 0xDEADBEEF;
    badCrc.add(bad);
    badCrc.writeTo(folder.filePath("bad-crc.zlb"));
    return 0;
}
