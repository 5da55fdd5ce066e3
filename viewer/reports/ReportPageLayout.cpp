#include "viewer/reports/ReportPageLayout.h"

int ReportPlacedBand::setText(const QString &elementName, const QString &text)
{
    int count = 0;
    for (ReportPlacedElement &placed : elements) {
        if (placed.element->name == elementName) {
            placed.text = text;
            ++count;
        }
    }
    return count;
}

const ReportPlacedElement *ReportPlacedBand::find(const QString &elementName) const
{
    for (const ReportPlacedElement &placed : elements) {
        if (placed.element->name == elementName)
            return &placed;
    }
    return nullptr;
}
