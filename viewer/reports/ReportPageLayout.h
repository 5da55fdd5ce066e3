#pragma once

#include "viewer/reports/ReportLayout.h"

#include <QFont>
#include <QList>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QStringList>

// One laid-out page of a report: which bands print where and with which texts, in millimetres from
// the paper's top left corner. The engine builds one on demand for painting; tests read it to check
// geometry. The pointers refer into the engine's copy of the layout and live as long as the engine.

struct ReportPlacedElement
{
    const ReportElement *element = nullptr;
    QString text;      // as it prints, prefix included
    QStringList lines; // the part of the text that fits the box, line by line
    QRectF rect;
    QFont font; // the element's font with its family resolved to one that is installed
};

struct ReportPlacedBand
{
    const ReportBand *band = nullptr;
    int row = -1;          // the row whose values the band shows; -1 when there is none
    bool repeated = false; // a group header printed again because its group continues here
    QRectF rect;
    QList<ReportPlacedElement> elements;

    // Changes the printed text of the elements called `elementName` (for before-print hooks);
    // returns how many there were.
    int setText(const QString &elementName, const QString &text);
    const ReportPlacedElement *find(const QString &elementName) const;
};

struct ReportPageLayout
{
    int pageNumber = 0;
    QSizeF paperSize;
    QList<ReportPlacedBand> bands;
    int firstRow = 0; // detail rows [firstRow, endRow) print on this page
    int endRow = 0;
};
