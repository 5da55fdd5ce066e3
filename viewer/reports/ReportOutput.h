#pragma once

#include <QImage>
#include <QString>

#include <functional>

class QPrinter;
class ReportEngine;

// The ways a prepared report leaves the engine: a PDF file, a preview image of one page, a printer.
// Each takes the engine after prepare().
namespace ReportOutput {

using PageProgress = std::function<void(int pagesDone, int pageCount)>;

// Writes every page into `path` through a temporary file, so an existing file is kept when
// writing fails. Throws std::runtime_error with a message naming the file.
void writePdf(const ReportEngine &engine, const QString &path, const PageProgress &progress = {});

// Page `pageNumber` (from 1) on white at `zoom` times its size on a screen of `screenDpi`;
// the preview shows zoom 0.5. Throws std::out_of_range for a page that does not exist.
QImage renderPage(const ReportEngine &engine, int pageNumber, double zoom = 0.5, double screenDpi = 96.0);

// Prints the pages the printer's range names (all when it names none), in full-page mode with the
// layout's paper size and orientation. Throws std::runtime_error when the printer cannot start.
void print(const ReportEngine &engine, QPrinter &printer, const PageProgress &progress = {});

} // namespace ReportOutput
