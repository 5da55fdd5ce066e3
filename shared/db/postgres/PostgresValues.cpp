#include "shared/db/postgres/PostgresValues.h"

#include "shared/db/DbError.h"

#include <QStringEncoder>

#include <libpq-fe.h>

#include <charconv>
#include <cstdio>

namespace db {

namespace {

// pg_type's numbers of the types read as something other than text.
constexpr Oid BoolOid = 16, ByteaOid = 17, Int8Oid = 20, Int2Oid = 21, Int4Oid = 23, OidOid = 26;
constexpr Oid DateOid = 1082, TimestampOid = 1114, TimestampTzOid = 1184;

constexpr int TextFormat = 0;
constexpr int BinaryFormat = 1;

int digits(QByteArrayView text, qsizetype from, qsizetype count)
{
    int number = 0;
    for (qsizetype i = from; i < from + count; ++i) {
        if (i >= text.size() || text[i] < '0' || text[i] > '9')
            return -1;
        number = number * 10 + (text[i] - '0');
    }
    return number;
}

// "yyyy-MM-dd[ HH:mm:ss[.ffffff][±zone]]" as written, never through local time, which would move a
// time inside a daylight-saving gap. A zone, as a timestamptz shows the session's, is left aside;
// "infinity" and dates before Christ read as no date-time.
QDateTime wallClock(QByteArrayView text)
{
    if (text.size() < 10 || text[4] != '-' || text[7] != '-')
        return {};
    const QDate date(digits(text, 0, 4), digits(text, 5, 2), digits(text, 8, 2));
    QTime time(0, 0);
    if (text.size() > 10) {
        if (text.size() < 19 || text[10] != ' ' || text[13] != ':' || text[16] != ':')
            return {};
        qsizetype end = 19;
        int fraction = 0;
        if (end < text.size() && text[end] == '.')
            while (++end < text.size() && text[end] >= '0' && text[end] <= '9')
                ++fraction;
        int msec = 0;
        for (int i = 0; i < 3; ++i)
            msec = msec * 10 + (i < fraction ? text[20 + i] - '0' : 0);
        if (end < text.size() && text[end] != '+' && text[end] != '-')
            return {};
        time = QTime(digits(text, 11, 2), digits(text, 14, 2), digits(text, 17, 2), msec);
    }
    if (!date.isValid() || !time.isValid())
        return {};
    return QDateTime(date, time, Qt::UTC);
}

} // namespace

PostgresParameters::PostgresParameters(size_t count)
    : m_texts(count), m_pointers(count), m_lengths(count), m_formats(count, TextFormat)
{}

void PostgresParameters::set(size_t parameter, const DbValue &value)
{
    QByteArray &text = m_texts[parameter];
    m_formats[parameter] = TextFormat;
    if (const QString *string = std::get_if<QString>(&value)) {
        if (string->contains(QChar(0)))
            throw DbError(DbError::Kind::Data,
                          QStringLiteral("A text holds a NUL character, which no text keeps"));
        text.resize(string->size() * 3);
        QStringEncoder utf8(QStringEncoder::Utf8);
        text.truncate(utf8.appendToBuffer(text.data(), *string) - text.data());
    } else if (const qint64 *number = std::get_if<qint64>(&value)) {
        text.resize(20);
        text.truncate(std::to_chars(text.data(), text.data() + text.size(), *number).ptr - text.data());
    } else if (const QDateTime *time = std::get_if<QDateTime>(&value); time && time->isValid()) {
        const QDate date = time->date();
        const QTime clock = time->time();
        text.resize(32);
        text.truncate(std::snprintf(text.data(), text.size(), "%04d-%02d-%02d %02d:%02d:%02d.%03d",
                                    date.year(), date.month(), date.day(), clock.hour(), clock.minute(),
                                    clock.second(), clock.msec()));
    } else if (const QByteArray *bytes = std::get_if<QByteArray>(&value)) {
        m_pointers[parameter] = bytes->constData();
        m_lengths[parameter] = static_cast<int>(bytes->size());
        m_formats[parameter] = BinaryFormat;
        return;
    } else {
        m_pointers[parameter] = nullptr;
        return;
    }
    m_pointers[parameter] = text.constData();
    m_lengths[parameter] = static_cast<int>(text.size());
}

DbValue postgresValue(const pg_result *result, int row, int column)
{
    if (PQgetisnull(result, row, column))
        return {};
    const char *text = PQgetvalue(result, row, column);
    const int length = PQgetlength(result, row, column);
    switch (PQftype(result, column)) {
    case BoolOid:
        return qint64(text[0] == 't');
    case Int2Oid:
    case Int4Oid:
    case Int8Oid:
    case OidOid: {
        qint64 number = 0;
        std::from_chars(text, text + length, number);
        return number;
    }
    case DateOid:
    case TimestampOid:
    case TimestampTzOid:
        return wallClock(QByteArrayView(text, length));
    case ByteaOid: {
        size_t size = 0;
        unsigned char *bytes = PQunescapeBytea(reinterpret_cast<const unsigned char *>(text), &size);
        QByteArray value(reinterpret_cast<const char *>(bytes), static_cast<qsizetype>(size));
        PQfreemem(bytes);
        return value;
    }
    default:
        return QString::fromUtf8(text, length);
    }
}

} // namespace db
