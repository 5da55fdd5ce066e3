#pragma once

#include "viewer/reports/ReportDataSource.h"
#include "viewer/reports/ReportLayout.h"
#include "viewer/reports/ReportPageLayout.h"

#include <QDateTime>
#include <QFont>
#include <QFontMetricsF>
#include <QImage>

#include <functional>
#include <map>
#include <vector>

class QPainter;

// A small banded report engine: lays a ReportLayout out over the rows of a ReportDataSource and
// paints any one page on a paint device.
//
//     ReportEngine engine(ReportLayouts::QuickRep1(), rows);
//     engine.setBeforePrint(ReportBandKind::PageFooter, ReportLayouts::pageFooterBeforePrint());
//     int pages = engine.prepare(progress);      // paginates, paints nothing
//     engine.paintPage(painter, 3);              // painter on a QPdfWriter, QPrinter or QImage
//
// prepare() keeps only where each page starts (a row and the step within it), so memory does not
// grow with the pages: a page is laid out again, from its start, when it is painted. The rows must
// not change between prepare() and painting; prepare again when they do.
//
// Page flow: the page header at the top margin, then group headers and details, the page footer
// at the bottom margin. A group header starts where its field's text changes from the row before
// (or an outer group starts), is kept on the page of its group's first detail, and is printed
// again at the top of every page on which its group continues. Bands do not stretch.
class ReportEngine
{
public:
    using Progress = std::function<void(int rowsDone, int rowCount)>;
    // Runs as a band is laid out for painting, before it prints; may change its element texts.
    using BeforePrint = std::function<void(ReportPlacedBand &band, int pageNumber, int pageCount)>;

    // Throws std::invalid_argument when the layout names a field the data source lacks. The data
    // source must outlive the engine.
    ReportEngine(ReportLayout layout, const ReportDataSource &data);
    ReportEngine(ReportLayout layout, const ReportDataSource &&data) = delete;

    const ReportLayout &layout() const { return m_layout; }
    // Changes a caption of the layout, for instance the criteria text; see ReportLayout::setText.
    int setText(const QString &elementName, const QString &text)
    {
        return m_layout.setText(elementName, text);
    }

    void setBeforePrint(ReportBandKind kind, BeforePrint hook);
    // The moment date-time elements show: this one, or when prepare() last ran if none is set.
    void setPrintedAt(const QDateTime &moment) { m_fixedPrintedAt = moment; }
    QDateTime printedAt() const { return m_printedAt; }

    // Lays every page out without painting and returns the page count. The progress callback is
    // told the rows done after every page and once at the end.
    int prepare(const Progress &progress = {});
    bool isPrepared() const { return m_prepared; }
    int pageCount() const { return int(m_pageStarts.size()); }

    // Pages count from 1; both throw std::out_of_range for a page that does not exist.
    ReportPageLayout pageLayout(int pageNumber) const;
    // The painter's origin must be the paper's top left corner; lengths follow the device's DPI.
    void paintPage(QPainter &painter, int pageNumber) const;

    static QString dateTimeFormat() { return QStringLiteral("dd/MM/yyyy HH:mm:ss"); }

private:
    struct Cursor
    {
        int row = 0;
        int step = 0; // group headers of this row already placed; one more means its detail too
    };
    struct ElementMetrics
    {
        QFont font;
        double lineHeightMm = 0;
        int field = -1;
    };

    Cursor flowPage(Cursor start, int pageNumber, ReportPageLayout *out) const;
    int firstChangedGroup(int row) const;
    double remainingHeight(int fromGroup, int step) const;
    double bandHeight(int band) const;
    void fitText(ReportPageLayout &page) const;
    // The width from a placed box's left edge to the next box that starts to its right on its line.
    static double roomBeforeNextBox(const ReportPlacedBand &band, const ReportPlacedElement &placed);
    void place(ReportPageLayout *out, int band, double top, int row, bool repeated) const;
    QString elementText(const ReportElement &element, const ElementMetrics &metrics, int row,
                        int pageNumber) const;

    // Bands are referred to by index: the layout's lists are implicitly shared, so pointers into
    // them would not survive a change of a caption.
    ReportLayout m_layout;
    const ReportDataSource &m_data;
    int m_pageHeader = -1;
    int m_detail = -1;
    int m_pageFooter = -1;
    std::vector<int> m_groups;                          // band indices, outermost first
    std::vector<int> m_groupFields;                     // their fields in the data source
    std::vector<std::vector<ElementMetrics>> m_metrics; // per band, per element
    std::map<ReportBandKind, BeforePrint> m_hooks;
    QImage m_metricsDevice; // measures text in millimetres independently of any output device
    QDateTime m_printedAt;
    QDateTime m_fixedPrintedAt;
    std::vector<Cursor> m_pageStarts;
    bool m_prepared = false;
};
