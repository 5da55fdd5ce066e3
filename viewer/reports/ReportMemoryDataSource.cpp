#include "viewer/reports/ReportMemoryDataSource.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

#include <stdexcept>

ReportMemoryDataSource::ReportMemoryDataSource(QStringList fieldNames) : m_fieldNames(std::move(fieldNames))
{}

ReportMemoryDataSource ReportMemoryDataSource::fromQuery(QSqlQuery &query)
{
    if (!query.isActive() || !query.isSelect())
        throw std::runtime_error(query.lastError().text().toStdString());
    const QSqlRecord columns = query.record();
    QStringList names;
    for (int c = 0; c < columns.count(); ++c)
        names.append(columns.fieldName(c));
    ReportMemoryDataSource source(names);
    while (query.next()) {
        QStringList values;
        for (int c = 0; c < columns.count(); ++c) {
            const QVariant value = query.value(c);
            values.append(value.isNull() ? QString() : value.toString());
        }
        source.m_rows.append(values);
    }
    if (query.lastError().isValid())
        throw std::runtime_error(query.lastError().text().toStdString());
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
