#include "viewer/ReportPagePainter.h"

#include <QFontMetricsF>
#include <QPaintDevice>
#include <QPainter>
#include <QTextLayout>

namespace {

constexpr double MmPerInch = 25.4;
constexpr double LineWidthMm = 0.2;

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

    const bool multiLine = placed.text.contains(QLatin1Char('\n'));
    if (element.wordWrap && !element.sizedToText()) {
        const QFontMetricsF metrics(placed.font, m_painter.device());
        if (multiLine || metrics.horizontalAdvance(placed.text) > box.width()) {
            drawWrapped(placed, box);
            return;
        }
    }

    QString text = placed.text;
    if (multiLine)
        text.replace(QLatin1String("\r\n"), QLatin1String(" ")).replace(QLatin1Char('\n'), QLatin1Char(' '));
    const int flags = int(element.alignment & Qt::AlignHorizontal_Mask) | Qt::AlignTop | Qt::TextSingleLine;
    // Boxes sized to their text must not lose a pixel to rounding between devices.
    const bool cut = element.clip && !element.sizedToText() &&
                     QFontMetricsF(placed.font, m_painter.device()).horizontalAdvance(text) > box.width();
    if (cut) {
        m_painter.save();
        m_painter.setClipRect(box, Qt::IntersectClip);
        m_painter.drawText(box, flags, text);
        m_painter.restore();
    } else {
        m_painter.drawText(box, flags | Qt::TextDontClip, text);
    }
}

void ReportPagePainter::drawWrapped(const ReportPlacedElement &placed, const QRectF &box)
{
    // Only whole lines that fit the box print; the first line always does. A word wider than the
    // box is cut at its edge.
    QString text = placed.text;
    text.replace(QLatin1String("\r\n"), QString(QChar::LineSeparator))
        .replace(QLatin1Char('\n'), QChar::LineSeparator);
    QTextLayout layout(text, placed.font, m_painter.device());
    QTextOption option(placed.element->alignment & Qt::AlignHorizontal_Mask);
    option.setWrapMode(QTextOption::WordWrap);
    layout.setTextOption(option);

    QList<QTextLine> lines;
    bool overflows = false;
    double height = 0;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(box.width());
        if (!lines.isEmpty() && height + line.height() > box.height() + 0.5)
            break;
        line.setPosition(QPointF(0, height));
        height += line.height();
        overflows = overflows || line.naturalTextWidth() > box.width();
        lines.append(line);
    }
    layout.endLayout();

    m_painter.save();
    if (overflows && placed.element->clip)
        m_painter.setClipRect(box, Qt::IntersectClip);
    for (const QTextLine &line : lines)
        line.draw(&m_painter, box.topLeft());
    m_painter.restore();
}
