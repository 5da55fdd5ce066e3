#include "shared/text/DateTimeText.h"

namespace {

void putDigits(QChar *&out, int value, int width)
{
    for (int i = width - 1; i >= 0; --i) {
        out[i] = QChar(u'0' + value % 10);
        value /= 10;
    }
    out += width;
}

} // namespace

QString sortableDateTimeText(const QDateTime &value, bool withMilliseconds)
{
    const QDate date = value.date();
    const QTime time = value.time();
    int year = 0;
    int month = 0;
    int day = 0;
    date.getDate(&year, &month, &day); // one calendar conversion rather than three
    if (!date.isValid() || !time.isValid() || year < 1 || year > 9999)
        return value.toString(withMilliseconds ? QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")
                                               : QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    QString text(withMilliseconds ? 23 : 19, Qt::Uninitialized);
    QChar *out = text.data();
    putDigits(out, year, 4);
    *out++ = u'-';
    putDigits(out, month, 2);
    *out++ = u'-';
    putDigits(out, day, 2);
    *out++ = u' ';
    putDigits(out, time.hour(), 2);
    *out++ = u':';
    putDigits(out, time.minute(), 2);
    *out++ = u':';
    putDigits(out, time.second(), 2);
    if (withMilliseconds) {
        *out++ = u'.';
        putDigits(out, time.msec(), 3);
    }
    return text;
}
