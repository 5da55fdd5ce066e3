#include "viewer/gui/CellSelectionText.h"

#include <algorithm>

CellSelectionText::CellSelectionText(const QItemSelection &selection)
{
    for (const QItemSelectionRange &range : selection) {
        if (!range.isValid())
            continue;
        const int left = std::max(range.left(), 0);
        const int right = std::min(range.right(), MaxColumns - 1);
        if (left > right)
            continue;
        const quint64 columns = (right - left + 1 == MaxColumns ? ~quint64(0)
                                                                : ((quint64(1) << (right - left + 1)) - 1))
                                << left;
        for (int row = range.top(); row <= range.bottom(); ++row)
            m_rows.emplace_back(row, columns);
    }
    // Ranges may overlap or cover the same rows with other columns: one entry per row.
    std::sort(m_rows.begin(), m_rows.end());
    auto out = m_rows.begin();
    for (auto in = m_rows.begin(); in != m_rows.end(); ++in) {
        if (out != m_rows.begin() && std::prev(out)->first == in->first)
            std::prev(out)->second |= in->second;
        else
            *out++ = *in;
    }
    m_rows.erase(out, m_rows.end());
    m_rows.shrink_to_fit();
}

QString CellSelectionText::text(const std::vector<int> &visualOrder,
                                const std::function<QString(int row, int column)> &cell) const
{
    QString text;
    bool firstRow = true;
    for (const auto &[row, columns] : m_rows) {
        if (!firstRow)
            text += u'\n';
        firstRow = false;
        bool firstCell = true;
        for (const int column : visualOrder) {
            if (column < 0 || column >= MaxColumns || !(columns & (quint64(1) << column)))
                continue;
            if (!firstCell)
                text += u'\t';
            firstCell = false;
            text += cell(row, column);
        }
    }
    return text;
}
