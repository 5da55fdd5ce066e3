#pragma once

#include "shared/db/DbValue.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <memory>
#include <optional>
#include <vector>

class SqlDialect;

// A static result: every row read at once, fields found by name without regard to case.
class DbResult
{
public:
    DbResult() = default;
    DbResult(QStringList fieldNames, std::vector<std::vector<QVariant>> rows,
             std::shared_ptr<const SqlDialect> dialect);

    int rowCount() const { return static_cast<int>(m_rows.size()); }
    bool isEmpty() const { return m_rows.empty(); }
    const QStringList &fieldNames() const { return m_fieldNames; }
    bool hasField(const QString &field) const;

    // Throws DbError (access layer) for an unknown field or a row out of range.
    QVariant value(int row, const QString &field) const;
    bool isNull(int row, const QString &field) const;
    QString text(int row, const QString &field) const; // empty for NULL
    std::optional<QDateTime> dateTime(int row, const QString &field) const;
    std::optional<qint64> integer(int row, const QString &field) const;

private:
    int fieldIndex(const QString &field) const;

    QStringList m_fieldNames;
    std::vector<std::vector<QVariant>> m_rows;
    std::shared_ptr<const SqlDialect> m_dialect;
};

// A value read from a session as a QVariant: NULL as an invalid one.
QVariant variantOf(const DbValue &value);
