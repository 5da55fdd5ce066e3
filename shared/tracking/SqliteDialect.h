#pragma once

#include "shared/tracking/SqlDialect.h"

// SQLite made to behave like the production database where the system relies on it: NOCASE text,
// varchar widths enforced by CHECK, date-times as sortable "yyyy-MM-dd HH:mm:ss.zzz" text.
class SqliteDialect : public SqlDialect
{
public:
    Backend backend() const override { return Backend::Sqlite; }

    QString tableExistsSql(const QString &name) const override;
    QString columnExistsSql(const QString &table, const QString &column) const override;
    QString columnMaxLengthSql(const QString &table, const QString &column) const override;
    QString addColumnSql(const QString &table, const QString &column, const QString &type,
                         const QString &size) const override;
    QString indexExistsSql(const QString &index) const override;
    QString createIndexSql(const QString &index, const QString &table, const QString &column) const override;
    // SQLite cannot alter a column: the tables are rebuilt.
    QString alterColumnSql(const QString &, const QString &, int, bool) const override { return {}; }
    QStringList rebuildTableSql(const QString &table, const QStringList &copied,
                                const QHash<QString, int> &widths) const override;
    QString createTrackingSql() const override;
    QString createContentSql() const override;
    QString existingRowSql(const QString &messageId) const override;
    QString existingRowBoundSql() const override;
    QString undeliveredSummarySql() const override;
    QString tagAsManagedSql() const override;
    QString dateLiteral(QDate date) const override;
    QVariant dateTimeParameter(const QDateTime &value) const override;
    QVariant longTextParameter(const QByteArray &bytes) const override;
    QString newestContentSql() const override;
    // Busy or locked (any extended code of the two): another connection holds the database.
    QStringList sessionSetupSql() const override;

    QString currentDateTimeSql() const override;
    QString daysSinceReceiptSql() const override;
    QString pruneTrackingBatchSql() const override;
    QString createAuditSql() const override;

    static QString canonicalDateTime(const QDateTime &value);
};
