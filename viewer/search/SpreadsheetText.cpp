#include "viewer/search/SpreadsheetText.h"

QString spreadsheetText(const QString &cell)
{
    static const QString FormulaStarts = QStringLiteral("=+-@\t\r");
    if (!cell.isEmpty() && FormulaStarts.contains(cell.front()))
        return u'\'' + cell;
    return cell;
}
