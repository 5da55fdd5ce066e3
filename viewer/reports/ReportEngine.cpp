#include "viewer/reports/ReportEngine.h"

#include "viewer/reports/ReportPagePainter.h"
#include "viewer/reports/ReportTextFit.h"

#include "shared/text/WallClock.h"

#include <QFontDatabase>
#include <QPainter>

#include <cmath>
#include <limits>
#include <stdexcept>

namespace {

constexpr double MmPerInch = 25.4;
// Text is measured on a fine grid so that sizes in millimetres do not depend on screen hinting.
constexpr int MetricsDpi = 1200;
// Bands that end within this distance of the page's bottom still fit (the layout's 0.1 mm grid
// sums up with rounding errors).
constexpr double FitTolerance = 0.001;

QString resolvedFamily(const QString &family)
{
    // Liberation Sans has Arial's metrics, so the layouts keep their geometry where Arial is absent.
    static const QStringList Substitutes{QStringLiteral("Liberation Sans"), QStringLiteral("Arimo")};
    if (QFontDatabase::hasFamily(family))
        return family;
    if (family.compare(QStringLiteral("Arial"), Qt::CaseInsensitive) == 0) {
        for (const QString &substitute : Substitutes) {
            if (QFontDatabase::hasFamily(substitute))
                return substitute;
        }
    }
    return family;
}

} // namespace

ReportEngine::ReportEngine(ReportLayout layout, const ReportDataSource &data)
    : m_layout(std::move(layout)), m_data(data), m_metricsDevice(1, 1, QImage::Format_ARGB32)
{
    const int dotsPerMetre = qRound(MetricsDpi / MmPerInch * 1000.0);
    m_metricsDevice.setDotsPerMeterX(dotsPerMetre);
    m_metricsDevice.setDotsPerMeterY(dotsPerMetre);

    QStringList missing;
    auto fieldOf = [&](const QString &name) {
        const int index = m_data.fieldIndex(name);
        if (index < 0 && !missing.contains(name))
            missing.append(name);
        return index;
    };

    QHash<QString, QString> families;
    for (int b = 0; b < m_layout.bands.size(); ++b) {
        const ReportBand &band = m_layout.bands.at(b);
        switch (band.kind) {
        case ReportBandKind::PageHeader:
            m_pageHeader = b;
            break;
        case ReportBandKind::GroupHeader:
            m_groups.push_back(b);
            m_groupFields.push_back(fieldOf(band.groupField));
            break;
        case ReportBandKind::Detail:
            m_detail = b;
            break;
        case ReportBandKind::PageFooter:
            m_pageFooter = b;
            break;
        }

        std::vector<ElementMetrics> metrics;
        for (const ReportElement &element : band.elements) {
            if (!families.contains(element.font.family))
                families.insert(element.font.family, resolvedFamily(element.font.family));
            ElementMetrics m;
            m.font = QFont(families.value(element.font.family));
            m.font.setPointSizeF(element.font.pointSize);
            m.font.setBold(element.font.bold);
            m.font.setItalic(element.font.italic);
            m.lineHeightMm = QFontMetricsF(m.font, &m_metricsDevice).height() / MetricsDpi * MmPerInch;
            if (element.kind == ReportElementKind::DataField)
                m.field = fieldOf(element.field);
            metrics.push_back(m);
        }
        m_metrics.push_back(std::move(metrics));
    }
    if (!missing.isEmpty()) {
        throw std::invalid_argument(QStringLiteral("The report \"%1\" needs fields its data lacks: %2")
                                        .arg(m_layout.name, missing.join(QStringLiteral(", ")))
                                        .toStdString());
    }
}

void ReportEngine::setBeforePrint(ReportBandKind kind, BeforePrint hook)
{
    m_hooks[kind] = std::move(hook);
}

int ReportEngine::prepare(const Progress &progress)
{
    m_prepared = false;
    m_pageStarts.clear();
    m_printedAt = m_fixedPrintedAt.isValid() ? m_fixedPrintedAt : WallClock::now();
    const int rows = m_data.rowCount();
    if (rows == 0) {
        if (m_layout.printIfEmpty)
            m_pageStarts.push_back(Cursor{});
    } else {
        Cursor cursor;
        while (cursor.row < rows) {
            m_pageStarts.push_back(cursor);
            cursor = flowPage(cursor, int(m_pageStarts.size()), nullptr);
            if (progress)
                progress(cursor.row, rows);
        }
    }
    if (progress && rows == 0)
        progress(0, 0);
    m_prepared = true;
    return pageCount();
}

ReportPageLayout ReportEngine::pageLayout(int pageNumber) const
{
    if (pageNumber < 1 || pageNumber > pageCount())
        throw std::out_of_range("No such report page: " + std::to_string(pageNumber));
    ReportPageLayout page;
    page.pageNumber = pageNumber;
    page.paperSize = m_layout.paperSize();
    flowPage(m_pageStarts.at(pageNumber - 1), pageNumber, &page);

    for (ReportPlacedBand &band : page.bands) {
        const auto hook = m_hooks.find(band.band->kind);
        if (hook != m_hooks.end() && hook->second)
            hook->second(band, pageNumber, pageCount());
    }
    fitText(page);
    return page;
}

void ReportEngine::fitText(ReportPageLayout &page) const
{
    const double dotsPerMm = MetricsDpi / MmPerInch;
    for (ReportPlacedBand &band : page.bands) {
        for (ReportPlacedElement &placed : band.elements) {
            const ReportElement &element = *placed.element;
            // A text never runs over the next box on its line, however long it is.
            const double room = roomBeforeNextBox(band, placed);
            // A box sized to its text is as wide as the text: only the next box limits it.
            const double width = element.sizedToText() ? room : std::min(placed.rect.width(), room);
            if (placed.text.isEmpty()) {
                placed.lines.clear();
            } else if (element.sizedToText() && room == std::numeric_limits<double>::infinity()) {
                placed.lines = QStringList{ReportTextFit::oneLine(placed.text)};
            } else if (element.sizedToText()) {
                const ReportTextFit::Box box{width * dotsPerMm, placed.rect.height() * dotsPerMm, false,
                                             true};
                placed.lines = ReportTextFit::lines(ReportTextFit::oneLine(placed.text), placed.font,
                                                    &m_metricsDevice, box);
            } else {
                const ReportTextFit::Box box{width * dotsPerMm, placed.rect.height() * dotsPerMm,
                                             element.wordWrap, element.clip || width < placed.rect.width()};
                placed.lines = ReportTextFit::lines(placed.text, placed.font, &m_metricsDevice, box);
            }
        }
    }
}

double ReportEngine::roomBeforeNextBox(const ReportPlacedBand &band, const ReportPlacedElement &placed)
{
    double room = std::numeric_limits<double>::infinity();
    for (const ReportPlacedElement &other : band.elements) {
        // On the same line: the tops lie within half the lower box's height of each other.
        const bool sameLine = std::abs(other.rect.top() - placed.rect.top()) <
                              std::min(placed.rect.height(), other.rect.height()) / 2;
        if (&other != &placed && sameLine && other.rect.left() > placed.rect.left())
            room = std::min(room, other.rect.left() - placed.rect.left());
    }
    return room;
}

void ReportEngine::paintPage(QPainter &painter, int pageNumber) const
{
    ReportPagePainter(painter).paint(pageLayout(pageNumber));
}

int ReportEngine::firstChangedGroup(int row) const
{
    if (row == 0)
        return 0;
    for (size_t g = 0; g < m_groupFields.size(); ++g) {
        const int field = m_groupFields[g];
        if (m_data.displayText(row, field) != m_data.displayText(row - 1, field))
            return int(g);
    }
    return int(m_groupFields.size());
}

double ReportEngine::bandHeight(int band) const
{
    return band < 0 ? 0.0 : m_layout.bands.at(band).height;
}

double ReportEngine::remainingHeight(int fromGroup, int step) const
{
    // A group header is kept together with the headers below it and the first detail of its group.
    double height = bandHeight(m_detail);
    for (size_t g = size_t(fromGroup + step); g < m_groups.size(); ++g)
        height += bandHeight(m_groups[g]);
    return height;
}

ReportEngine::Cursor ReportEngine::flowPage(Cursor start, int pageNumber, ReportPageLayout *out) const
{
    const ReportMargins &margins = m_layout.margins;
    const double paperHeight = m_layout.paperSize().height();
    const double footerTop = paperHeight - margins.bottom - bandHeight(m_pageFooter);
    const int rows = m_data.rowCount();
    double y = margins.top;

    if (m_pageHeader >= 0 && (pageNumber > 1 || m_layout.pageHeaderOnFirstPage)) {
        place(out, m_pageHeader, y, start.row < rows ? start.row : -1, false);
        y += bandHeight(m_pageHeader);
    }

    Cursor cursor = start;
    if (cursor.row < rows && (cursor.row > 0 || cursor.step > 0)) {
        // Groups whose header printed on an earlier page continue here.
        const int continuing = std::min(firstChangedGroup(cursor.row) + cursor.step, int(m_groups.size()));
        for (int g = 0; g < continuing; ++g) {
            place(out, m_groups[size_t(g)], y, cursor.row, true);
            y += bandHeight(m_groups[size_t(g)]);
        }
    }

    bool placedAny = false;
    while (cursor.row < rows) {
        const int firstGroup = firstChangedGroup(cursor.row);
        const int headers = int(m_groups.size()) - firstGroup;
        bool pageFull = false;
        while (cursor.step <= headers) {
            const bool isDetail = cursor.step == headers;
            const double needed = isDetail ? bandHeight(m_detail) : remainingHeight(firstGroup, cursor.step);
            // An empty page takes what comes even if it does not fit, or the report would never end.
            if (placedAny && y + needed > footerTop + FitTolerance) {
                pageFull = true;
                break;
            }
            const int band = isDetail ? m_detail : m_groups[size_t(firstGroup + cursor.step)];
            if (band >= 0) {
                place(out, band, y, cursor.row, false);
                y += bandHeight(band);
            }
            placedAny = true;
            ++cursor.step;
        }
        if (pageFull)
            break;
        ++cursor.row;
        cursor.step = 0;
    }

    if (out) {
        out->firstRow = std::min(start.row, rows);
        out->endRow = cursor.row;
    }
    const bool lastPage = cursor.row >= rows;
    if (m_pageFooter >= 0 && (!lastPage || m_layout.pageFooterOnLastPage)) {
        const int row = std::min(cursor.row, rows) - 1;
        place(out, m_pageFooter, footerTop, row, false);
    }
    return cursor;
}

void ReportEngine::place(ReportPageLayout *out, int bandIndex, double top, int row, bool repeated) const
{
    if (!out)
        return;
    const ReportBand &band = m_layout.bands.at(bandIndex);
    const ReportMargins &margins = m_layout.margins;
    const double bandWidth = m_layout.paperSize().width() - margins.left - margins.right;

    ReportPlacedBand placed;
    placed.band = &band;
    placed.row = row;
    placed.repeated = repeated;
    placed.rect = QRectF(margins.left, top, bandWidth, band.height);

    const std::vector<ElementMetrics> &metrics = m_metrics.at(size_t(bandIndex));
    for (int e = 0; e < band.elements.size(); ++e) {
        const ReportElement &element = band.elements.at(e);
        const ElementMetrics &m = metrics.at(size_t(e));
        ReportPlacedElement item;
        item.element = &element;
        item.text = elementText(element, m, row, out->pageNumber);
        item.font = m.font;
        double width = element.width;
        if (element.sizedToText()) {
            // Grows with its text up to the band's right edge.
            const double advance = QFontMetricsF(m.font, &m_metricsDevice).horizontalAdvance(item.text);
            width = std::min(advance / MetricsDpi * MmPerInch, bandWidth - element.left);
        }
        const double height = element.height > 0 ? element.height : m.lineHeightMm;
        item.rect = QRectF(margins.left + element.left, top + element.top, width, height);
        placed.elements.append(item);
    }
    out->bands.append(placed);
}

QString ReportEngine::elementText(const ReportElement &element, const ElementMetrics &metrics, int row,
                                  int pageNumber) const
{
    switch (element.kind) {
    case ReportElementKind::Caption:
        return element.text;
    case ReportElementKind::DataField:
        return row >= 0 ? m_data.displayText(row, metrics.field) : QString();
    case ReportElementKind::DateTime:
        return element.text + m_printedAt.toString(dateTimeFormat());
    case ReportElementKind::PageNumber:
        return element.text + QString::number(pageNumber);
    }
    return {};
}
