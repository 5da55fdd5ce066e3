#include "viewer/reports/ReportLayout.h"

#include <QMarginsF>

QSizeF ReportLayout::paperSize() const
{
    const QSizeF size = QPageSize(pageSize).size(QPageSize::Millimeter);
    return orientation == QPageLayout::Landscape ? size.transposed() : size;
}

QPageLayout ReportLayout::pageLayout() const
{
    // The engine places everything itself, so the device gets the whole sheet.
    return QPageLayout(QPageSize(pageSize), orientation, QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
}

const ReportBand *ReportLayout::band(ReportBandKind kind) const &
{
    for (const ReportBand &candidate : bands) {
        if (candidate.kind == kind)
            return &candidate;
    }
    return nullptr;
}

QList<const ReportBand *> ReportLayout::groupHeaders() const &
{
    QList<const ReportBand *> headers;
    for (const ReportBand &candidate : bands) {
        if (candidate.kind == ReportBandKind::GroupHeader)
            headers.append(&candidate);
    }
    return headers;
}

QStringList ReportLayout::fieldNames() const
{
    QStringList names;
    auto add = [&names](const QString &name) {
        if (!name.isEmpty() && !names.contains(name, Qt::CaseInsensitive))
            names.append(name);
    };
    for (const ReportBand &candidate : bands) {
        add(candidate.groupField);
        for (const ReportElement &element : candidate.elements) {
            if (element.kind == ReportElementKind::DataField)
                add(element.field);
        }
    }
    return names;
}

int ReportLayout::setText(const QString &elementName, const QString &text)
{
    int count = 0;
    for (ReportBand &candidate : bands) {
        for (ReportElement &element : candidate.elements) {
            if (element.name == elementName) {
                element.text = text;
                ++count;
            }
        }
    }
    return count;
}
