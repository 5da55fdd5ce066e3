#pragma once

#include <QString>

// The rows a report prints. A report only needs each row's display text of a named field, the text
// the result grid shows for it; the window adapts its query model to this, tests and the summary
// use ReportMemoryDataSource.
class ReportDataSource
{
public:
    virtual ~ReportDataSource() = default;

    virtual int rowCount() const = 0;
    // Index of a field for displayText(), -1 when the source has no such field. Names compare
    // without regard to case, as SQL column names do.
    virtual int fieldIndex(const QString &name) const = 0;
    virtual QString displayText(int row, int field) const = 0;
};
