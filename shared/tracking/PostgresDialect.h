#pragma once

#include "shared/tracking/SqlDialect.h"

// PostgreSQL made to compare text as the production database does (case-insensitive for every
// Latin-1 letter, accent-sensitive): the text columns use a nondeterministic ICU collation, which
// serves equality, ordering, grouping and the plain message-id index. LIKE cannot run under such a
// collation, so a like condition compares ICU-lowered text, served by expression indexes.
class PostgresDialect : public SqlDialect
{
public:
    Backend backend() const override { return Backend::PostgreSql; }

    QString tableExistsSql(const QString &name) const override;
    QString columnExistsSql(const QString &table, const QString &column) const override;
    QString columnMaxLengthSql(const QString &table, const QString &column) const override;
    QString addColumnSql(const QString &table, const QString &column, const QString &type,
                         const QString &size) const override;
    QString indexExistsSql(const QString &index) const override;
    QString createIndexSql(const QString &index, const QString &table, const QString &column) const override;
    QString alterColumnSql(const QString &table, const QString &column, int width, bool notNull) const override;
    QString createTrackingSql() const override;
    QString createContentSql() const override;
    QString existingRowSql(const QString &messageId) const override;
    QString existingRowBoundSql() const override;
    QString undeliveredSummarySql() const override;
    QString tagAsManagedSql() const override;
    QString likeCondition(const QString &column, const QString &parameter) const override;
    QString dateLiteral(QDate date) const override;
    QVariant dateTimeParameter(const QDateTime &value) const override;
    QVariant longTextParameter(const QByteArray &bytes) const override;
    QString newestContentSql() const override;
    QStringList sessionSetupSql() const override;
    // An advisory lock for the transaction on the id as the column compares it.
    QString messageLockSql() const override;
    QString currentDateTimeSql() const override;
    QString daysSinceReceiptSql() const override;
    QString pruneTrackingBatchSql() const override;
    QString createAuditSql() const override;
};
