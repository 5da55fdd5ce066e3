#pragma once

#include <QFont>
#include <QStringList>

class QPaintDevice;

// Decides which text a fixed box prints: the lines of a word-wrapped box that fit its height (the
// first always does), each cut after the last whole character that fits its width, so that no
// half glyph can be read as another letter. The engine decides this once on a fine reference
// device, so the preview and the printout show the same words.
namespace ReportTextFit {

struct Box
{
    double width = 0;  // in the device's units
    double height = 0; // in the device's units
    bool wordWrap = false;
    bool cut = true; // false: a line wider than the box is kept whole
};

QStringList lines(const QString &text, const QFont &font, const QPaintDevice *device, const Box &box);

// Line breaks become blanks.
QString oneLine(QString text);

} // namespace ReportTextFit
