#include "viewer/reports/ReportLayouts.h"

#include <initializer_list>

namespace {

const QColor SkyBlue(166, 202, 240);

constexpr double CaptionSize = 8.0;
constexpr double DataSize = 8.0;

struct Column
{
    const char *caption;
    const char *field;
    double captionLeft;
    double captionWidth;
    double fieldLeft;
    double fieldWidth;
    Qt::Alignment alignment = Qt::AlignLeft;
};

ReportFontSpec font(double pointSize, bool bold = false, bool italic = false)
{
    ReportFontSpec spec;
    spec.pointSize = pointSize;
    spec.bold = bold;
    spec.italic = italic;
    return spec;
}

ReportElement text(ReportElementKind kind, const QString &value, double left, double top, double width,
                   const ReportFontSpec &fontSpec, const QString &name = {})
{
    ReportElement element;
    element.kind = kind;
    element.name = name;
    if (kind == ReportElementKind::DataField)
        element.field = value;
    else
        element.text = value;
    element.left = left;
    element.top = top;
    element.width = width;
    element.font = fontSpec;
    return element;
}

ReportElement caption(const QString &value, double left, double top, double width,
                      const ReportFontSpec &fontSpec, const QString &name = {})
{
    return text(ReportElementKind::Caption, value, left, top, width, fontSpec, name);
}

// Data boxes have a fixed width, wrap at words and do not stretch.
ReportElement field(const QString &name, double left, double top, double width,
                    const ReportFontSpec &fontSpec)
{
    ReportElement element = text(ReportElementKind::DataField, name, left, top, width, fontSpec, name);
    element.wordWrap = width > 0;
    return element;
}

ReportBand band(ReportBandKind kind, double height, const QColor &colour = Qt::white)
{
    ReportBand result;
    result.kind = kind;
    result.height = height;
    result.colour = colour;
    return result;
}

// Column captions on one band, the matching data boxes on another.
void addColumns(ReportBand &captions, double captionTop, ReportBand &details, double fieldTop,
                std::initializer_list<Column> columns)
{
    for (const Column &column : columns) {
        ReportElement title =
            caption(QString::fromLatin1(column.caption), column.captionLeft, captionTop, column.captionWidth,
                    font(CaptionSize, true), QString::fromLatin1(column.field) + QStringLiteral("Caption"));
        title.alignment = column.alignment;
        captions.elements.append(title);
        ReportElement data = field(QString::fromLatin1(column.field), column.fieldLeft, fieldTop,
                                   column.fieldWidth, font(DataSize));
        data.alignment = column.alignment;
        details.elements.append(data);
    }
}

ReportBand trackPageHeader()
{
    ReportBand header = band(ReportBandKind::PageHeader, 7.9);
    header.lineBelow = true;
    header.elements = {
        caption(QStringLiteral("Orvane Tracking Report "), 2.1, 2.1, 0, font(12, true),
                QStringLiteral("Title")),
        caption(QStringLiteral("Criteria:"), 55.8, 2.6, 0, font(10, true), QStringLiteral("CriteriaLabel")),
        caption(QString(), 72.0, 2.6, 0, font(10, false, true),
                QString::fromLatin1(ReportLayouts::CriteriaElement)),
    };
    return header;
}

ReportBand pageFooter(double height, bool line, double pageNumberLeft, double totalLeft)
{
    ReportBand footer = band(ReportBandKind::PageFooter, height);
    footer.lineAbove = line;
    ReportElement pageNumber = text(ReportElementKind::PageNumber, QStringLiteral("Page: "), pageNumberLeft,
                                    1.1, 48.2, font(8), QStringLiteral("PageNumber"));
    pageNumber.alignment = Qt::AlignRight;
    footer.elements = {
        text(ReportElementKind::DateTime, QStringLiteral("Printed: "), 2.1, 1.1, 0, font(8),
             QStringLiteral("PrintedAt")),
        pageNumber,
        caption(ReportLayouts::totalLabelText(0), totalLeft, 1.1, 0, font(8),
                QString::fromLatin1(ReportLayouts::TotalLabelElement)),
    };
    return footer;
}

ReportLayout layout(const QString &name, QPageLayout::Orientation orientation, const ReportMargins &margins)
{
    ReportLayout result;
    result.name = name;
    result.pageSize = QPageSize::A4;
    result.orientation = orientation;
    result.margins = margins;
    return result;
}

} // namespace

namespace ReportLayouts {

ReportLayout QuickRep1()
{
    ReportLayout report = layout(QStringLiteral("QuickRep1"), QPageLayout::Landscape, {5, 10, 5, 5});

    ReportBand group = band(ReportBandKind::GroupHeader, 11.9, SkyBlue);
    group.groupField = QStringLiteral("PatientName");
    group.elements = {
        field(QStringLiteral("PatientName"), 2.1, 0.8, 0, font(10, true, true)),
        // 15.1 mm, the width this box was drawn with, cuts a dd/mm/yyyy date at this size to
        // "01/01/194"; a birth date must print whole, so it reaches to the address box.
        field(QStringLiteral("PatientDOB"), 69.8, 1.3, 23.0, font(10, true, true)),
        field(QStringLiteral("PatientAddress"), 93.1, 1.3, 68.0, font(10, true, true)),
    };
    ReportBand detail = band(ReportBandKind::Detail, 5.0);
    addColumns(group, 6.9, detail, 0.5,
               {
                   {"Lab Ref", "LabId", 2.1, 10.8, 2.1, 16.7},
                   {"Test Name(s)", "Test", 21.2, 46.8, 21.2, 46.8},
                   {"Request Date", "RequestDate", 69.8, 21.4, 69.8, 19.3},
                   {"Addressee Doctor", "AddresseeDoc", 93.1, 48.9, 93.1, 51.1},
                   {"Requesting Doctor", "RequestingDoc", 146.1, 59.5, 146.1, 59.5},
                   {"Quazor ID", "PracID", 207.4, 15.1, 207.4, 15.6},
                   {"Status", "Status", 224.4, 27.8, 224.4, 38.4},
               });

    report.bands = {trackPageHeader(), group, detail, pageFooter(5.8, true, 129.1, 177.8)};
    return report;
}

ReportLayout QuickRep3()
{
    ReportLayout report = layout(QStringLiteral("QuickRep3"), QPageLayout::Landscape, {5, 10, 5, 10});

    ReportBand group = band(ReportBandKind::GroupHeader, 10.6, SkyBlue);
    group.groupField = QStringLiteral("PracID");
    group.elements = {
        caption(QStringLiteral("Practice Name"), 2.1, 0.5, 40.5, font(12, true),
                QStringLiteral("PracticeLabel")),
        field(QStringLiteral("PracID"), 46.6, 0.5, 0, font(14, true, true)),
    };
    ReportBand detail = band(ReportBandKind::Detail, 4.2);
    addColumns(group, 6.9, detail, 0.5,
               {
                   {"Status", "Status", 2.1, 27.8, 1.9, 36.5},
                   {"Download File", "Filename", 40.2, 27.8, 40.2, 32.0},
                   {"Addressee", "AddresseeDoc", 80.4, 27.8, 80.4, 36.2},
                   {"Patient", "PatientName", 118.5, 46.8, 118.5, 44.7},
                   {"Patient DOB", "PatientDOB", 165.1, 21.4, 165.1, 25.7},
                   {"Test", "Test", 190.5, 21.4, 190.5, 76.5},
               });

    report.bands = {trackPageHeader(), group, detail, pageFooter(6.3, false, 135.5, 184.2)};
    return report;
}

ReportLayout qrptUndelivered()
{
    ReportLayout report = layout(QStringLiteral("qrptUndelivered"), QPageLayout::Portrait, {5, 10, 5, 10});

    ReportBand header = band(ReportBandKind::PageHeader, 18.5);
    header.lineBelow = true;
    ReportElement since = caption(QStringLiteral("Number of Results Undelivered since ..."), 40.2, 9.0, 99.7,
                                  font(8, true), QStringLiteral("SinceLabel"));
    since.lineBelow = true;
    header.elements = {
        caption(QStringLiteral("Orvane - Undelivered Results Summary"), 2.1, 2.1, 0, font(12, true),
                QStringLiteral("Title")),
        since,
    };
    ReportBand detail = band(ReportBandKind::Detail, 4.5);
    addColumns(header, 13.2, detail, 0.5,
               {
                   {"Practice Name", "pracid", 2.1, 36.2, 1.9, 36.5},
                   {"Today", "count_today", 40.2, 10.8, 40.2, 10.8, Qt::AlignRight},
                   {"Today -1", "count_today_1", 52.9, 13.2, 52.9, 13.2, Qt::AlignRight},
                   {"Today -2", "count_today_2", 67.7, 13.2, 67.7, 13.2, Qt::AlignRight},
                   {"Today - 3", "count_today_3", 82.5, 13.2, 82.5, 13.2, Qt::AlignRight},
                   {"3+ Days", "count_today_4_plus", 97.4, 13.2, 97.4, 13.2, Qt::AlignRight},
                   {"Total Undelivered", "count_total", 112.2, 27.5, 112.2, 27.8, Qt::AlignRight},
                   {"Last Result Delivery", "last_delivery", 141.8, 38.4, 141.8, 38.4},
               });

    report.bands = {header, detail, pageFooter(6.3, false, 135.5, 184.2)};
    return report;
}

ReportLayout forKind(ReportKind kind)
{
    switch (kind) {
    case ReportKind::Search:
        return QuickRep1();
    case ReportKind::Practice:
        return QuickRep3();
    case ReportKind::Undelivered:
        return qrptUndelivered();
    }
    return QuickRep1();
}

QStringList undeliveredSummaryFields()
{
    return {QStringLiteral("pracid"),        QStringLiteral("count_today"),
            QStringLiteral("count_today_1"), QStringLiteral("count_today_2"),
            QStringLiteral("count_today_3"), QStringLiteral("count_today_4_plus"),
            QStringLiteral("count_total"),   QStringLiteral("last_delivery")};
}

QString totalLabelText(int reportPageCount)
{
    return QStringLiteral(" of %1").arg(reportPageCount);
}

ReportEngine::BeforePrint pageFooterBeforePrint()
{
    return [](ReportPlacedBand &footer, int, int pageCount) {
        footer.setText(QString::fromLatin1(TotalLabelElement), totalLabelText(pageCount));
    };
}

} // namespace ReportLayouts
