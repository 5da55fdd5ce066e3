#pragma once

#include "viewer/reports/ReportPageLayout.h"

#include <QRectF>

class QPainter;

// Paints one laid-out report page: band colours, text boxes and lines. Millimetres become device
// units through the device's DPI, so the same page comes out right on a PDF writer, a printer
// (full-page mode) and a preview image.
class ReportPagePainter
{
public:
    explicit ReportPagePainter(QPainter &painter);

    void paint(const ReportPageLayout &page);

private:
    QRectF toDevice(const QRectF &mm) const;
    void paintBand(const ReportPlacedBand &band);
    void paintText(const ReportPlacedElement &placed, const QRectF &box);
    void drawLine(double x1, double x2, double y);

    QPainter &m_painter;
    double m_dotsPerMmX;
    double m_dotsPerMmY;
};
