#include "loader/TrackingDates.h"

#include "shared/text/WallClock.h"

#include <QRegularExpression>

#include <algorithm>
#include <array>
#include <stdexcept>

namespace {

// Raised inside the rules for an impossible date or time; the outer rule turns it into the marker.
struct ImpossibleDate
{
};

bool isBlankOrControl(QChar c)
{
    return c.isSpace() || c.category() == QChar::Other_Control;
}

QString trimControls(const QString &text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlankOrControl(text.at(begin)))
        ++begin;
    while (end > begin && isBlankOrControl(text.at(end - 1)))
        --end;
    return text.mid(begin, end - begin);
}

void collapseDoubleSpaces(QString &text)
{
    while (text.contains(QLatin1String("  ")))
        text.replace(QLatin1String("  "), QLatin1String(" "));
}

// Characters `from` (1-based) to `from + count - 1` as an integer, or `fallback`.
int numberAt(const QString &text, qsizetype from, qsizetype count, int fallback)
{
    // A view, not a copy: every date field of every line comes through here several times.
    const QStringView digits = QStringView(text).mid(from - 1, count);
    // Plain digits, as nearly every date has them, need none of toInt's sign, space and locale rules.
    if (!digits.isEmpty() && digits.size() <= 9 &&
        std::all_of(digits.begin(), digits.end(), [](QChar c) { return c >= u'0' && c <= u'9'; })) {
        int value = 0;
        for (const QChar c : digits)
            value = value * 10 + (c.unicode() - u'0');
        return value;
    }
    bool ok = false;
    const int value = digits.toInt(&ok, 10);
    return ok ? value : fallback;
}

int integerOr(const QString &text, int fallback, bool *ok = nullptr)
{
    bool parsed = false;
    const int value = text.toInt(&parsed, 10);
    if (ok)
        *ok = parsed;
    return parsed ? value : fallback;
}

QDateTime makeDateTime(int year, int month, int day, const QTime &time)
{
    const QDate date(year, month, day);
    if (!date.isValid() || !time.isValid())
        throw ImpossibleDate{};
    return WallClock::of(date, time);
}

bool monthBeforeDay(const QString &shortDateFormat)
{
    // A letter that does not occur counts as position 0.
    const qsizetype m = shortDateFormat.indexOf(u'm', 0, Qt::CaseInsensitive) + 1;
    const qsizetype d = shortDateFormat.indexOf(u'd', 0, Qt::CaseInsensitive) + 1;
    return m < d;
}

DateField parseHyphenated(QString text, const QString &shortDateFormat)
{
    collapseDoubleSpaces(text);
    const int year = numberAt(text, 1, 4, 2000);
    int month = 0;
    int day = 0;
    if (monthBeforeDay(shortDateFormat)) {
        month = numberAt(text, 9, 2, 1);
        day = numberAt(text, 6, 2, 1);
    } else {
        month = numberAt(text, 6, 2, 1);
        day = numberAt(text, 9, 2, 1);
    }
    QTime time(0, 0);
    if (text.contains(u' ')) {
        time = QTime(numberAt(text, 12, 2, 0), numberAt(text, 15, 2, 0), numberAt(text, 18, 2, 1), 0);
        if (!time.isValid())
            throw ImpossibleDate{};
    }
    return makeDateTime(year, month, day, time);
}

struct TimePart
{
    QTime time{0, 0};
    bool unreadable = false; // no digit before the time: the whole text cannot be read
    QString dateText;
};

TimePart splitTimePart(const QString &text)
{
    TimePart part;
    part.dateText = text;
    const qsizetype colon = text.indexOf(u':');
    if (colon < 0)
        return part;
    const qsizetype start = std::max<qsizetype>(0, colon - 2);
    QString timeText = text.mid(start);
    const QString lower = timeText.toLower();
    bool afternoon = false;
    bool morning = false;
    if (lower.contains(QLatin1String("pm")))
        afternoon = true;
    if (lower.contains(QLatin1String("am"))) {
        morning = true;
        afternoon = false;
    }
    part.dateText = text.left(start);
    if (!std::any_of(part.dateText.begin(), part.dateText.end(), [](QChar c) { return c.isDigit(); })) {
        part.unreadable = true;
        return part;
    }
    const qsizetype space = timeText.indexOf(u' ');
    if (space >= 0)
        timeText = timeText.left(space);
    timeText = timeText.trimmed();
    int hour = numberAt(timeText, 1, 2, 0);
    int minute = numberAt(timeText, 4, 2, 0);
    int second = numberAt(timeText, 7, 2, 0);
    int msec = numberAt(timeText, 10, 3, 0);
    if (morning && hour == 12)
        hour = 0;
    if (afternoon && hour < 12)
        hour += 12;
    if (hour > 23 || hour < 0)
        hour = 0;
    if (minute > 59 || minute < 0)
        minute = 0;
    if (second > 59 || second < 0)
        second = 0;
    if (msec > 999 || msec < 0)
        msec = 0;
    part.time = QTime(hour, minute, second, msec);
    return part;
}

QString cleanDateText(QString text)
{
    static const char *const leads[] = {"J", "F", "M", "D", "N", "AP", "AU"};
    static const char *const ordinalTails[] = {"S", "N", "R", "T"};
    for (const char *lead : leads) {
        for (const char *tail : ordinalTails)
            text.replace(u' ' + QLatin1String(tail) + QLatin1String(lead), u' ' + QLatin1String(lead));
    }
    for (const char *form : {" SO", " RO", " TO"})
        text.replace(QLatin1String(form), QLatin1String(" O"));
    text.replace(QLatin1String(" NOC"), QLatin1String(" OC"));

    static const char *const words[] = {
        "MONDAY", "TUESDAY", "WEDNESDAY", "THURSDAY", "FRIDAY", "SATURDAY", "SUNDAY", "THUR", "MON", "TUE",
        "WED",    "THU",     "FRI",       "SAT",      "SUN",    "RD",       "TH",     "ND",   "ST"};
    for (const char *word : words)
        text.remove(QLatin1String(word));

    text.replace(u',', u' ');
    text.replace(u'.', u'/');
    text.replace(u'-', u'/');
    text.remove(QLatin1String("OF"));
    text.remove(u'\t');
    text.replace(u'\r', u' ');
    text.remove(u'\n');
    collapseDoubleSpaces(text);
    return text.toUpper().trimmed();
}

int monthOfWord(const QString &word)
{
    const auto at = [&word](qsizetype i) { return i < word.size() ? word.at(i) : QChar(); };
    switch (word.at(0).unicode()) {
    case 'A':
        return at(1) == u'P' ? 4 : 8;
    case 'D':
        return 12;
    case 'F':
        return 2;
    case 'J':
        if (at(1) == u'A')
            return 1;
        return at(2) == u'N' ? 6 : 7;
    case 'M':
        return at(2) == u'R' ? 3 : 5;
    case 'N':
        return 11;
    case 'O':
        return 10;
    case 'S':
        return 9;
    default:
        return 0;
    }
}

DateField parseDateTextOrThrow(const QString &input, const QString &shortDateFormat)
{
    const QString text = input.toUpper().trimmed();
    const TimePart timePart = splitTimePart(text);
    if (timePart.unreadable)
        return DateField::unreadable();
    QString date = cleanDateText(timePart.dateText);

    if (date.contains(u'/')) {
        const QStringList parts = date.split(u'/');
        bool firstOk = false;
        bool secondOk = false;
        integerOr(parts.value(0), 0, &firstOk);
        integerOr(parts.value(1), 0, &secondOk);
        if (firstOk && secondOk) {
            if (const auto converted = convertShortDateText(date, shortDateFormat))
                return WallClock::of(converted->date(), timePart.time);
        }
        date.replace(u'/', u' ');
    }

    const qsizetype firstSpace = date.indexOf(u' ');
    const QString firstWord = firstSpace < 0 ? date : date.left(firstSpace);
    const QString rest = firstSpace < 0 ? QString() : date.mid(firstSpace + 1);
    const qsizetype secondSpace = rest.indexOf(u' ');
    const QString secondWord = secondSpace < 0 ? rest : rest.left(secondSpace);
    const QString afterSecond = secondSpace < 0 ? QString() : rest.mid(secondSpace + 1);

    bool firstIsNumber = false;
    integerOr(firstWord, 0, &firstIsNumber);
    QString monthWord;
    bool dayOk = false;
    bool yearOk = false;
    int day = 0;
    int year = 0;
    if (!firstIsNumber) {
        monthWord = firstWord;
        day = integerOr(secondWord, 0, &dayOk);
        year = integerOr(afterSecond, 0, &yearOk);
        if (yearOk && year < 1880)
            year += year < 10 ? 2000 : 1900;
    } else {
        day = integerOr(firstWord, 0, &dayOk);
        monthWord = secondWord;
        year = integerOr(afterSecond, 0, &yearOk);
        if (yearOk && year < 1900)
            year += year < 10 ? 2000 : 1900;
    }
    if (!dayOk || !yearOk)
        return DateField::unreadable();
    if (monthWord.size() <= 2)
        return DateField::unreadable();
    const int month = monthOfWord(monthWord);
    if (month == 0) {
        if (const auto converted = convertShortDateText(date, shortDateFormat))
            return *converted;
        return DateField::unreadable();
    }
    return makeDateTime(year, month, day, timePart.time);
}

enum class DatePart
{
    Day,
    Month,
    Year
};

std::array<DatePart, 3> datePartOrder(const QString &shortDateFormat)
{
    const QString lower = shortDateFormat.toLower();
    struct Position
    {
        DatePart part;
        qsizetype at;
    };
    std::array<Position, 3> positions = {{{DatePart::Day, lower.indexOf(u'd')},
                                          {DatePart::Month, lower.indexOf(u'm')},
                                          {DatePart::Year, lower.indexOf(u'y')}}};
    for (Position &p : positions) {
        if (p.at < 0)
            p.at = lower.size() + static_cast<qsizetype>(p.part); // missing parts keep d, m, y order
    }
    std::stable_sort(positions.begin(), positions.end(),
                     [](const Position &a, const Position &b) { return a.at < b.at; });
    return {positions[0].part, positions[1].part, positions[2].part};
}

int fullYear(const QString &digits, int value, int currentYear)
{
    if (digits.size() > 2)
        return value;
    int year = currentYear / 100 * 100 + value;
    if (year > currentYear + 50)
        year -= 100;
    else if (year <= currentYear - 50)
        year += 100;
    return year;
}

} // namespace

std::optional<QDateTime> convertShortDateText(const QString &text, const QString &shortDateFormat,
                                              int currentYear)
{
    static const QRegularExpression pattern(
        QStringLiteral(
            R"(^\s*(\d{1,4})[/\-. ]+(\d{1,4})(?:[/\-. ]+(\d{1,4}))?(?:\s+(\d{1,2}):(\d{1,2})(?::(\d{1,2})(?:\.(\d{1,3}))?)?\s*(AM|PM)?)?\s*$)"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    QStringList numbers{match.captured(1), match.captured(2)};
    const bool hasYear = !match.captured(3).isEmpty();
    if (hasYear)
        numbers << match.captured(3);
    int day = 0;
    int month = 0;
    int year = currentYear;
    qsizetype next = 0;
    for (DatePart part : datePartOrder(shortDateFormat)) {
        if (part == DatePart::Year && !hasYear)
            continue;
        const QString digits = numbers.value(next++);
        const int value = digits.toInt();
        switch (part) {
        case DatePart::Day:
            day = value;
            break;
        case DatePart::Month:
            month = value;
            break;
        case DatePart::Year:
            year = fullYear(digits, value, currentYear);
            break;
        }
    }
    const QDate date(year, month, day);
    if (!date.isValid())
        return std::nullopt;
    QTime time(0, 0);
    if (!match.captured(4).isEmpty()) {
        int hour = match.captured(4).toInt();
        const QString half = match.captured(8).toUpper();
        if (half == QLatin1String("AM") && hour == 12)
            hour = 0;
        else if (half == QLatin1String("PM") && hour < 12)
            hour += 12;
        QString ms = match.captured(7);
        time = QTime(hour, match.captured(5).toInt(), match.captured(6).toInt(),
                     ms.leftJustified(3, u'0').toInt());
        if (!time.isValid())
            return std::nullopt;
    }
    return WallClock::of(date, time);
}

DateField ParseDateText(const QString &text, const QString &shortDateFormat)
{
    try {
        return parseDateTextOrThrow(text, shortDateFormat);
    } catch (const ImpossibleDate &) {
        return DateField::unreadable();
    }
}

DateField ParseTrackingDate(const QString &text, const QString &shortDateFormat)
{
    const QString trimmed = trimControls(text);
    if (trimmed.isEmpty())
        return {};
    try {
        if (trimmed.contains(u'-'))
            return parseHyphenated(trimmed, shortDateFormat);
        return parseDateTextOrThrow(trimmed, shortDateFormat);
    } catch (...) {
        return DateField::unreadable();
    }
}
