#pragma once

#include <QColor>
#include <QList>
#include <QPageLayout>
#include <QPageSize>
#include <QSizeF>
#include <QString>
#include <QStringList>

// The data model of a banded report layout: page set-up, bands and the text elements on them.
// Every length is in millimetres, measured from the top left corner of the element's band (for
// elements) or of the paper (for margins). A layout knows nothing of where its rows come from; the
// report engine lays it out over a ReportDataSource.

enum class ReportBandKind
{
    PageHeader,
    GroupHeader,
    Detail,
    PageFooter
};

enum class ReportElementKind
{
    Caption,   // fixed text; a before-print hook may change it
    DataField, // the display text of `field` in the current row
    DateTime,  // `text` followed by the date and time the report was prepared
    PageNumber // `text` followed by the page number
};

struct ReportFontSpec
{
    QString family = QStringLiteral("Arial");
    double pointSize = 8.0;
    bool bold = false;
    bool italic = false;
};

struct ReportElement
{
    ReportElementKind kind = ReportElementKind::Caption;
    QString name; // how hooks and callers find the element; may be empty
    QString text; // caption, or the prefix of a date-time or page-number element
    QString field;
    double left = 0;
    double top = 0;
    double width = 0;  // 0: sized to its text
    double height = 0; // 0: one line of its font
    ReportFontSpec font;
    Qt::Alignment alignment = Qt::AlignLeft;
    bool wordWrap = false;
    bool clip = true;  // text that does not fit the box is cut rather than drawn over its neighbours
    QColor background; // invalid: transparent
    bool lineBelow = false;

    bool sizedToText() const { return width <= 0; }
};

struct ReportBand
{
    ReportBandKind kind = ReportBandKind::Detail;
    double height = 0;
    QString groupField; // group headers: a new group starts where this field's text changes
    QColor colour;      // invalid: transparent
    bool lineAbove = false;
    bool lineBelow = false;
    QList<ReportElement> elements;
};

struct ReportMargins
{
    double top = 0;
    double bottom = 0;
    double left = 0;
    double right = 0;
};

struct ReportLayout
{
    QString name;
    QPageSize::PageSizeId pageSize = QPageSize::A4;
    QPageLayout::Orientation orientation = QPageLayout::Portrait;
    ReportMargins margins;
    QList<ReportBand> bands; // group headers nest in the order they appear
    bool printIfEmpty = true;
    bool pageHeaderOnFirstPage = true;
    bool pageFooterOnLastPage = true;

    // Paper size in millimetres, turned for the orientation.
    QSizeF paperSize() const;
    QPageLayout pageLayout() const;

    // Pointers into the layout: a temporary layout would leave them dangling.
    const ReportBand *band(ReportBandKind kind) const &;
    const ReportBand *band(ReportBandKind kind) const && = delete;
    QList<const ReportBand *> groupHeaders() const &;
    QList<const ReportBand *> groupHeaders() const && = delete;
    QStringList fieldNames() const;

    // Sets the text of every element called `elementName`; returns how many there were.
    int setText(const QString &elementName, const QString &text);
};
