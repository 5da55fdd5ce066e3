#include "shared/text/TextCodec.h"

#include <QStringDecoder>

#include <array>

namespace {

// Code points of the bytes 0x80..0x9F in Windows-1252; the undefined ones keep their C1 value.
constexpr std::array<char16_t, 32> HighControlRange = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

} // namespace

QString fromWindows1252(const QByteArray &bytes)
{
    QString text;
    text.reserve(bytes.size());
    for (char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0x80 && b <= 0x9F)
            text.append(QChar(HighControlRange[b - 0x80]));
        else
            text.append(QChar(b));
    }
    return text;
}

QByteArray toWindows1252(const QString &text)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    for (QChar ch : text) {
        const char16_t u = ch.unicode();
        if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) {
            bytes.append(static_cast<char>(u));
            continue;
        }
        char out = '?';
        for (std::size_t i = 0; i < HighControlRange.size(); ++i) {
            if (HighControlRange[i] == u) {
                out = static_cast<char>(0x80 + i);
                break;
            }
        }
        bytes.append(out);
    }
    return bytes;
}

DecodedText decodeServerText(const QByteArray &bytes)
{
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return {text, TextEncoding::Utf8};
    return {fromWindows1252(bytes), TextEncoding::Windows1252};
}

QByteArray encodeServerText(const QString &text, TextEncoding encoding)
{
    return encoding == TextEncoding::Utf8 ? text.toUtf8() : toWindows1252(text);
}

QStringList splitTextLines(const QString &text)
{
    QStringList lines;
    qsizetype start = 0;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text.at(i);
        if (c != u'\r' && c != u'\n')
            continue;
        lines.append(text.mid(start, i - start));
        if (c == u'\r' && i + 1 < n && text.at(i + 1) == u'\n')
            ++i;
        start = i + 1;
    }
    if (start < n)
        lines.append(text.mid(start));
    return lines;
}
