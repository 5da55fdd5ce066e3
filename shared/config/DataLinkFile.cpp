#include "shared/config/DataLinkFile.h"

#include "shared/text/TextCodec.h"

#include <QFile>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringEncoder>

namespace {
[[noreturn]] void fail(const QString &message)
{
    throw DataLinkError(message.toStdString());
}
} // namespace

QByteArray dataLinkFileBytes(const QString &initString)
{
    // No line break after the last line.
    const QString text =
        QStringLiteral("[oledb]\r\n; Everything after this line is an OLE DB initstring\r\n") + initString;
    QStringEncoder encoder(QStringConverter::Utf16LE);
    return QByteArray("\xFF\xFE", 2) + QByteArray(encoder.encode(text));
}

void writeDataLinkFile(const QString &path, const QString &initString)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        fail(QStringLiteral("Cannot write the data-link file \"%1\": %2").arg(path, file.errorString()));
    file.write(dataLinkFileBytes(initString));
    if (!file.commit())
        fail(QStringLiteral("Cannot write the data-link file \"%1\": %2").arg(path, file.errorString()));
}

QString parseDataLinkBytes(const QByteArray &bytes, const QString &name)
{
    QString text;
    if (bytes.startsWith("\xFF\xFE")) {
        QStringDecoder decoder(QStringConverter::Utf16LE, QStringConverter::Flag::Stateless);
        text = decoder.decode(bytes.mid(2));
        if (decoder.hasError() || (bytes.size() % 2) != 0)
            fail(QStringLiteral("The data-link file \"%1\" is not valid UTF-16 text").arg(name));
    } else {
        // An administrator's editor writes UTF-8, with or without its byte-order mark.
        const QByteArray utf8 = bytes.startsWith("\xEF\xBB\xBF") ? bytes.mid(3) : bytes;
        QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
        text = decoder.decode(utf8);
        if (decoder.hasError() || text.contains(QChar(0)))
            fail(QStringLiteral("The data-link file \"%1\" is neither UTF-16 with its byte-order mark nor "
                                "UTF-8 text")
                     .arg(name));
    }
    const QStringList lines = splitTextLines(text);
    if (lines.size() < 3 || lines.at(2).trimmed().isEmpty())
        fail(QStringLiteral("The data-link file \"%1\" holds no connection string on its third line")
                 .arg(name));
    return lines.at(2).trimmed();
}

QString readDataLinkFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        fail(QStringLiteral("Cannot read the data-link file \"%1\": %2").arg(path, file.errorString()));
    // A data-link file is a few hundred bytes; never read more than this from whatever the name points at.
    constexpr qint64 MaxDataLinkBytes = 64 * 1024;
    const QByteArray bytes = file.read(MaxDataLinkBytes + 1);
    if (bytes.size() > MaxDataLinkBytes)
        fail(QStringLiteral("The data-link file \"%1\" is too large to be a data-link file").arg(path));
    return parseDataLinkBytes(bytes, path);
}
