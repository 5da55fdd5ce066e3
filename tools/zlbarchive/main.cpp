#include "shared/config/ProgramInfo.h"
#include "viewer/archive/ZLIBArchive.h"

#include <QCoreApplication>
#include <QStringList>
#include <QTemporaryFile>

#include <cstdio>
#include <optional>

// zlbarchive: the operator's look into a mailbox archive, with the reader's own messages.
namespace {

constexpr int ExitFailure = 1;
constexpr int ExitUsage = 2;

void printLine(FILE *stream, const QString &text)
{
    std::fputs(text.toLocal8Bit().constData(), stream);
    std::fputc('\n', stream);
}

QString usageText()
{
    return QStringLiteral("Usage: zlbarchive list FILE\n"
                          "       zlbarchive test FILE\n"
                          "       zlbarchive extract FILE NAME DIR\n"
                          "       zlbarchive --help | --version\n"
                          "list: one line per entry: relative name, size, stored or compressed, "
                          "CRC-32 in hex\n"
                          "test: extracts every entry with its CRC checked; exit 0 when all are sound\n"
                          "extract: writes the entry NAME (case ignored) into the folder DIR");
}

int usage()
{
    printLine(stderr, usageText());
    return ExitUsage;
}

int listEntries(const TZLBArchive &archive)
{
    for (int i = 0; i < archive.GetFileCount(); ++i) {
        const TZLBFileEntry entry = archive.GetFileEntry(i);
        printLine(stdout,
                  QStringLiteral("%1\t%2\t%3\t%4")
                      .arg(entry.RelativeName())
                      .arg(entry.FileSize)
                      .arg(entry.Stored != 0 ? QStringLiteral("stored") : QStringLiteral("compressed"))
                      .arg(entry.FileCRC, 8, 16, QLatin1Char('0')));
    }
    return 0;
}

int testEntries(TZLBArchive &archive)
{
    archive.SetCheckCRC(true);
    // The check reads the written content back, so each entry goes to a scratch file.
    QTemporaryFile scratch;
    if (!scratch.open()) {
        printLine(stderr, QStringLiteral("Unable to create a scratch file"));
        return ExitFailure;
    }
    for (int i = 0; i < archive.GetFileCount(); ++i) {
        scratch.resize(0);
        scratch.seek(0);
        archive.ExtractToStream(i, scratch);
    }
    printLine(stdout, QStringLiteral("%1 entries sound").arg(archive.GetFileCount()));
    return 0;
}

int run(const QStringList &args)
{
    if (const std::optional<int> answered =
            answerHelpOrVersion(args.mid(1), QStringLiteral("zlbarchive"), usageText()))
        return *answered;
    const QString command = args.value(1);
    const bool known = (command == u"list" || command == u"test") ? args.size() == 3
                       : command == u"extract"                    ? args.size() == 5
                                                                  : false;
    if (!known)
        return usage();
    TZLBArchive archive;
    archive.OpenArchive(args.at(2));
    if (command == u"list")
        return listEntries(archive);
    if (command == u"test")
        return testEntries(archive);
    archive.ExtractFile(args.at(4), args.at(3));
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    try {
        return run(app.arguments());
    } catch (const EZLBArchiveError &error) {
        printLine(stderr, error.Message());
        return ExitFailure;
    }
}
