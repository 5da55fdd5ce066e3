#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// The messaging server writes its files in a single-byte Windows code page. Text is read as UTF-8
// when the bytes are valid UTF-8, else as Windows-1252; the decoding remembers which, so that text
// written back (the errors copy of a tracking file) has the bytes it came with.
enum class TextEncoding
{
    Utf8,
    Windows1252
};

struct DecodedText
{
    QString text;
    TextEncoding encoding = TextEncoding::Utf8;
};

DecodedText decodeServerText(const QByteArray &bytes);
QByteArray encodeServerText(const QString &text, TextEncoding encoding);

// Windows-1252 in both directions. The five bytes the code page leaves undefined map to the C1
// control characters of the same value, so every byte survives a round trip.
QString fromWindows1252(const QByteArray &bytes);
QByteArray toWindows1252(const QString &text);

// Splits text into lines at CR LF, a lone CR or a lone LF. A line break at the very end does not
// start another line.
QStringList splitTextLines(const QString &text);
