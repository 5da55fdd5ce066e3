#include "viewer/reports/ReportPagePainter.h"

#include <QFontMetricsF>
#include <QPaintDevice>
#include <QPainter>

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
    if (placed.lines.isEmpty())
        return;
    m_painter.setFont(placed.font);
    m_painter.setPen(Qt::black);
    const QFontMetricsF metrics(placed.font, m_painter.device());
    // The engine chose the lines on a fine grid; a line a hair wider here may pass the box's edge.
    const int flags = int(placed.element->alignment & Qt::AlignHorizontal_Mask) | Qt::AlignTop |
                      Qt::TextSingleLine | Qt::TextDontClip;
    double top = box.top();
    for (const QString &line : placed.lines) {
        m_painter.drawText(QRectF(box.left(), top, box.width(), metrics.height()), flags, line);
        top += metrics.lineSpacing();
    }
}
