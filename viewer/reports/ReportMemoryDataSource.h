#pragma once

#include "viewer/reports/ReportDataSource.h"

#include <QList>
#include <QStringList>

namespace db {
class Cursor;
}

// Report rows held in memory as display texts, in the order of a fixed field list. Serves the
// undelivered summary (a few dozen rows) and tests.
class ReportMemoryDataSource : public ReportDataSource
{
public:
    explicit ReportMemoryDataSource(QStringList fieldNames);

    // The rows a cursor still has to give, with its column names as fields: NULL prints empty,
    // numbers in decimal, text as it is. Throws DbError when reading fails.
    static ReportMemoryDataSource fromCursor(db::Cursor &cursor);

    // Values in the order of the field list; throws std::invalid_argument on a wrong count.
    void appendRow(QStringList values);
    const QStringList &fieldNames() const { return m_fieldNames; }

    int rowCount() const override;
    int fieldIndex(const QString &name) const override;
    QString displayText(int row, int field) const override;

private:
    QStringList m_fieldNames;
    QList<QStringList> m_rows;
};
