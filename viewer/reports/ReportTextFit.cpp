#include "viewer/reports/ReportTextFit.h"

#include <QFontMetricsF>
#include <QTextLayout>

#include <algorithm>

namespace {

QString fittingPrefix(const QFontMetricsF &metrics, const QString &text, double width)
{
    if (metrics.horizontalAdvance(text) <= width)
        return text;
    qsizetype fits = 0;
    qsizetype tooLong = text.size();
    while (tooLong - fits > 1) {
        const qsizetype middle = (fits + tooLong) / 2;
        if (metrics.horizontalAdvance(text.left(middle)) <= width)
            fits = middle;
        else
            tooLong = middle;
    }
    if (fits > 0 && text.at(fits - 1).isHighSurrogate())
        --fits;
    return text.left(fits);
}

QStringList wrappedLines(const QString &text, const QFont &font, const QPaintDevice *device, double width, int room)
{
    QString flowing = text;
    flowing.replace(QLatin1String("\r\n"), QString(QChar::LineSeparator))
        .replace(QLatin1Char('\n'), QChar::LineSeparator);
    QTextLayout layout(flowing, font, device);
    QTextOption option;
    option.setWrapMode(QTextOption::WordWrap);
    layout.setTextOption(option);
    QStringList lines;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid() && lines.size() < room;
         line = layout.createLine()) {
        line.setLineWidth(width);
        QString part = flowing.mid(line.textStart(), line.textLength());
        while (!part.isEmpty() && (part.back().isSpace() || part.back() == QChar::LineSeparator))
            part.chop(1);
        lines.append(part);
    }
    layout.endLayout();
    return lines;
}

} // namespace

namespace ReportTextFit {

QString oneLine(QString text)
{
    return text.replace(QLatin1String("\r\n"), QLatin1String(" "))
        .replace(QLatin1Char('\n'), QLatin1Char(' '));
}

QStringList lines(const QString &text, const QFont &font, const QPaintDevice *device, const Box &box)
{
    if (text.isEmpty())
        return {};
    const QFontMetricsF metrics(font, device);
    const bool multiLine = text.contains(QLatin1Char('\n'));
    if (!multiLine && metrics.horizontalAdvance(text) <= box.width)
        return {text};

    const int room = std::max(1, int(box.height / metrics.lineSpacing() + 0.01));
    QStringList result =
        box.wordWrap ? wrappedLines(text, font, device, box.width, room) : QStringList{oneLine(text)};
    if (box.cut) {
        for (QString &line : result)
            line = fittingPrefix(metrics, line, box.width);
    }
    return result;
}

} // namespace ReportTextFit
