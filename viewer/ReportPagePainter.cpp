#include "viewer/ReportPagePainter.h"

#include <QFontMetricsF>
#include <QPaintDevice>
#include <QPainter>
#include <QTextLayout>

namespace {

constexpr double MmPerInch = 25.4;
constexpr double LineWidthMm = 0.2;

QString oneLine(QString text)
{
    return text.replace(QLatin1String("\r\n"), QLatin1String(" "))
        .replace(QLatin1Char('\n'), QLatin1Char(' '));
}

// Text that does not fit is cut after the last whole character that does, so that no half glyph
// can be read as another letter.
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

// The lines of a word-wrapped box that fit its height; the first one always does.
QStringList wrappedLines(const QString &text, const QFont &font, QPaintDevice *device, const QRectF &box,
                         const QFontMetricsF &metrics)
{
    QString flowing = text;
    flowing.replace(QLatin1String("\r\n"), QString(QChar::LineSeparator))
        .replace(QLatin1Char('\n'), QChar::LineSeparator);
    const int room = std::max(1, int((box.height() + 0.5) / metrics.lineSpacing()));

    QTextLayout layout(flowing, font, device);
    QTextOption option;
    option.setWrapMode(QTextOption::WordWrap);
    layout.setTextOption(option);
    QStringList lines;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid() && lines.size() < room;
         line = layout.createLine()) {
        line.setLineWidth(box.width());
        QString part = flowing.mid(line.textStart(), line.textLength());
        while (!part.isEmpty() && (part.back().isSpace() || part.back() == QChar::LineSeparator))
            part.chop(1);
        lines.append(part);
    }
    layout.endLayout();
    return lines;
}

} // namespace

ReportPagePainter::ReportPagePainter(QPainter &painter)
    : m_painter(painter), m_dotsPerMmX(painter.device()->logicalDpiX() / MmPerInch),
      m_dotsPerMmY(painter.device()->logicalDpiY() / MmPerInch)
{}

void ReportPagePainter::paint(const ReportPageLayout &page)
{
    m_painter.save();
    // Colours first, so that no band covers a line its neighbour draws along the common edge.
    for (const ReportPlacedBand &band : page.bands) {
        if (band.band->colour.isValid())
            m_painter.fillRect(toDevice(band.rect), band.band->colour);
    }
    for (const ReportPlacedBand &band : page.bands)
        paintBand(band);
    m_painter.restore();
}

QRectF ReportPagePainter::toDevice(const QRectF &mm) const
{
    return QRectF(mm.left() * m_dotsPerMmX, mm.top() * m_dotsPerMmY, mm.width() * m_dotsPerMmX,
                  mm.height() * m_dotsPerMmY);
}

void ReportPagePainter::drawLine(double x1, double x2, double y)
{
    QPen pen(Qt::black);
    pen.setWidthF(LineWidthMm * m_dotsPerMmY);
    m_painter.setPen(pen);
    m_painter.drawLine(QPointF(x1 * m_dotsPerMmX, y * m_dotsPerMmY),
                       QPointF(x2 * m_dotsPerMmX, y * m_dotsPerMmY));
}

void ReportPagePainter::paintBand(const ReportPlacedBand &band)
{
    for (const ReportPlacedElement &placed : band.elements) {
        const QRectF box = toDevice(placed.rect);
        if (placed.element->background.isValid())
            m_painter.fillRect(box, placed.element->background);
        paintText(placed, box);
        if (placed.element->lineBelow)
            drawLine(placed.rect.left(), placed.rect.right(), placed.rect.bottom());
    }

    if (band.band->lineAbove)
        drawLine(band.rect.left(), band.rect.right(), band.rect.top());
    if (band.band->lineBelow)
        drawLine(band.rect.left(), band.rect.right(), band.rect.bottom());
}

void ReportPagePainter::paintText(const ReportPlacedElement &placed, const QRectF &box)
{
    if (placed.text.isEmpty())
        return;
    const ReportElement &element = *placed.element;
    m_painter.setFont(placed.font);
    m_painter.setPen(Qt::black);
    const QFontMetricsF metrics(placed.font, m_painter.device());
    const int flags = int(element.alignment & Qt::AlignHorizontal_Mask) | Qt::AlignTop | Qt::TextSingleLine |
                      Qt::TextDontClip;

    const bool multiLine = placed.text.contains(QLatin1Char('\n'));
    // Boxes sized to their text must not lose a character to rounding between devices.
    if (element.sizedToText() || (!multiLine && metrics.horizontalAdvance(placed.text) <= box.width())) {
        m_painter.drawText(box, flags, multiLine ? oneLine(placed.text) : placed.text);
        return;
    }

    const QStringList lines = element.wordWrap
                                  ? wrappedLines(placed.text, placed.font, m_painter.device(), box, metrics)
                                  : QStringList{oneLine(placed.text)};
    double top = box.top();
    for (const QString &line : lines) {
        const QString shown = element.clip ? fittingPrefix(metrics, line, box.width()) : line;
        m_painter.drawText(QRectF(box.left(), top, box.width(), metrics.height()), flags, shown);
        top += metrics.lineSpacing();
    }
}
