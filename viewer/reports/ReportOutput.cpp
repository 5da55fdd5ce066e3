#include "viewer/reports/ReportOutput.h"

#include "viewer/reports/ReportEngine.h"

#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>
#include <QSaveFile>

#include <stdexcept>

namespace {

constexpr double MmPerInch = 25.4;
constexpr int PdfDpi = 1200;

// Paints pages [first, last] one after the other; only the page being painted is held in memory.
void paintPages(const ReportEngine &engine, QPagedPaintDevice &device, QPainter &painter, int first, int last,
                const ReportOutput::PageProgress &progress)
{
    for (int page = first; page <= last; ++page) {
        if (page > first)
            device.newPage();
        engine.paintPage(painter, page);
        if (progress)
            progress(page - first + 1, last - first + 1);
    }
}

} // namespace

namespace ReportOutput {

void writePdf(const ReportEngine &engine, const QString &path, const PageProgress &progress)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw std::runtime_error(
            QStringLiteral("Cannot write %1: %2").arg(path, file.errorString()).toStdString());

    QPdfWriter writer(&file);
    writer.setResolution(PdfDpi);
    writer.setPageLayout(engine.layout().pageLayout());
    writer.setTitle(engine.layout().name);
    writer.setCreator(QStringLiteral("OVTrack"));
    QPainter painter;
    if (!painter.begin(&writer))
        throw std::runtime_error(QStringLiteral("Cannot write %1").arg(path).toStdString());
    paintPages(engine, writer, painter, 1, engine.pageCount(), progress);
    painter.end();
    if (!file.commit())
        throw std::runtime_error(
            QStringLiteral("Cannot write %1: %2").arg(path, file.errorString()).toStdString());
}

QImage renderPage(const ReportEngine &engine, int pageNumber, double zoom, double screenDpi)
{
    const double dpi = screenDpi * zoom;
    const QSizeF paper = engine.layout().paperSize();
    QImage image(qRound(paper.width() / MmPerInch * dpi), qRound(paper.height() / MmPerInch * dpi),
                 QImage::Format_RGB32);
    const int dotsPerMetre = qRound(dpi / MmPerInch * 1000.0);
    image.setDotsPerMeterX(dotsPerMetre);
    image.setDotsPerMeterY(dotsPerMetre);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    engine.paintPage(painter, pageNumber);
    return image;
}

void print(const ReportEngine &engine, QPrinter &printer, const PageProgress &progress)
{
    printer.setFullPage(true);
    printer.setPageLayout(engine.layout().pageLayout());
    int first = 1;
    int last = engine.pageCount();
    if (printer.fromPage() > 0)
        first = std::max(first, printer.fromPage());
    if (printer.toPage() > 0)
        last = std::min(last, printer.toPage());
    if (first > last)
        return;
    QPainter painter;
    if (!painter.begin(&printer))
        throw std::runtime_error("Cannot start the printer " + printer.printerName().toStdString());
    paintPages(engine, printer, painter, first, last, progress);
    painter.end();
}

} // namespace ReportOutput
