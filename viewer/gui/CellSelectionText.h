#pragma once

#include <QItemSelection>
#include <QString>

#include <functional>
#include <utility>
#include <vector>

// The text of a grid selection for the clipboard: selected cells of a row joined by tabs in the order
// the columns stand on screen, rows in grid order joined by line breaks. Built from the selection's
// ranges, never from one index per cell, so that a selection of every row of a large result costs
// little more than the text itself.
class CellSelectionText
{
public:
    // Columns beyond this many are not part of the grid.
    static constexpr int MaxColumns = 64;

    explicit CellSelectionText(const QItemSelection &selection);

    // How many distinct rows the selection touches.
    qsizetype rowCount() const { return qsizetype(m_rows.size()); }

    // `visualOrder` lists the model's columns in the order they stand on screen; `cell` gives the text
    // of one cell.
    QString text(const std::vector<int> &visualOrder, const std::function<QString(int row, int column)> &cell) const;

private:
    // Row and the bit set of its selected columns, sorted by row, one entry per row.
    std::vector<std::pair<int, quint64>> m_rows;
};
