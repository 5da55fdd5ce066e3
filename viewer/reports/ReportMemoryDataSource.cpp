#include "viewer/reports/ReportMemoryDataSource.h"

#include "shared/db/Session.h"

#include <stdexcept>

ReportMemoryDataSource::ReportMemoryDataSource(QStringList fieldNames) : m_fieldNames(std::move(fieldNames))
{}

ReportMemoryDataSource ReportMemoryDataSource::fromCursor(db::Cursor &cursor)
{
    ReportMemoryDataSource source(cursor.columnNames());
    const auto columns = int(cursor.columnNames().size());
    while (cursor.next()) {
        QStringList values;
        for (int c = 0; c < columns; ++c)
            values.append(cursor.text(c));
        source.m_rows.append(values);
    }
    return source;
}

void ReportMemoryDataSource::appendRow(QStringList values)
{
    if (values.size() != m_fieldNames.size()) {
        throw std::invalid_argument(QStringLiteral("A report row needs %1 values, not %2")
                                        .arg(m_fieldNames.size())
                                        .arg(values.size())
                                        .toStdString());
    }
    m_rows.append(std::move(values));
}

int ReportMemoryDataSource::rowCount() const
{
    return int(m_rows.size());
}

int ReportMemoryDataSource::fieldIndex(const QString &name) const
{
    for (int i = 0; i < m_fieldNames.size(); ++i) {
        if (m_fieldNames.at(i).compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

QString ReportMemoryDataSource::displayText(int row, int field) const
{
    if (row < 0 || row >= m_rows.size() || field < 0 || field >= m_fieldNames.size())
        return {};
    return m_rows.at(row).at(field);
}
