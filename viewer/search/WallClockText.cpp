#include "viewer/search/WallClockText.h"

#include "shared/tracking/SqlDialect.h"

#include <QDateTime>

namespace {

qint64 wallMsecs(QDate date, QTime time)
{
    return date.toJulianDay() * TrackRowStore::MsecsPerDay + time.msecsSinceStartOfDay();
}

char16_t code(QChar c)
{
    return c.unicode();
}

char16_t code(char c)
{
    return char16_t(uchar(c));
}

template <typename Text> int digits(const Text &text, qsizetype from, qsizetype count, bool &ok)
{
    int value = 0;
    for (qsizetype i = from; i < from + count; ++i) {
        const char16_t c = code(text[i]);
        if (c < u'0' || c > u'9') {
            ok = false;
            return 0;
        }
        value = value * 10 + (c - u'0');
    }
    return value;
}

template <typename Text> std::optional<qint64> canonical(const Text &text)
{
    const qsizetype size = text.size();
    if (size != 10 && size != 19 && size != 23)
        return std::nullopt;
    if (code(text[4]) != u'-' || code(text[7]) != u'-')
        return std::nullopt;
    bool ok = true;
    const QDate date(digits(text, 0, 4, ok), digits(text, 5, 2, ok), digits(text, 8, 2, ok));
    int hour = 0, minute = 0, second = 0, msec = 0; // checked here: a QTime costs more than the parse
    if (size >= 19) {
        if (code(text[10]) != u' ' || code(text[13]) != u':' || code(text[16]) != u':')
            return std::nullopt;
        if (size == 23 && code(text[19]) != u'.')
            return std::nullopt;
        msec = size == 23 ? digits(text, 20, 3, ok) : 0;
        hour = digits(text, 11, 2, ok), minute = digits(text, 14, 2, ok), second = digits(text, 17, 2, ok);
    }
    if (!ok || !date.isValid() || hour > 23 || minute > 59 || second > 59)
        return std::nullopt;
    return date.toJulianDay() * TrackRowStore::MsecsPerDay + ((hour * 60 + minute) * 60 + second) * 1000 + msec;
}

} // namespace

std::optional<qint64> canonicalWallMsecs(QStringView text)
{
    return canonical(text);
}

std::optional<qint64> canonicalWallMsecs(QByteArrayView utf8)
{
    return canonical(utf8);
}

TrackRowStore::WallTime wallMsecsOf(const QVariant &value, const SqlDialect &dialect)
{
    if (value.isNull() || !value.isValid())
        return std::nullopt;
    if (value.metaType().id() == QMetaType::QString) {
        if (const auto fast = canonicalWallMsecs(value.toString()))
            return *fast;
    }
    const std::optional<QDateTime> parsed = dialect.dateTimeValue(value);
    if (!parsed || !parsed->isValid())
        return std::nullopt;
    return wallMsecs(parsed->date(), parsed->time());
}
