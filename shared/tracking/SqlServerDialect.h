#pragma once

#include "shared/tracking/SqlDialect.h"

// Transact-SQL for SQL Server through ODBC: the production texts, character for character.
class SqlServerDialect : public SqlDialect
{
public:
    Backend backend() const override { return Backend::SqlServer; }

    QString tableExistsSql(const QString &name) const override;
    QString columnExistsSql(const QString &table, const QString &column) const override;
    QString columnMaxLengthSql(const QString &table, const QString &column) const override;
    QString addColumnSql(const QString &table, const QString &column, const QString &type,
                         const QString &size) const override;
    QString indexExistsSql(const QString &index) const override;
    QString alterColumnSql(const QString &table, const QString &column, int width, bool notNull) const override;
    QString longestValueSql(const QString &table, const QString &column) const override;
    QString createTrackingSql() const override;
    QString createContentSql() const override;
    QString existingRowSql(const QString &messageId) const override;
    // The production texts paste the id.
    bool bindsLookupMessageId() const override { return false; }
    QString existingRowBoundSql() const override;
    QString undeliveredSummarySql() const override;
    QString tagAsManagedSql() const override;
    QString dateLiteral(QDate date) const override;
    QVariant dateTimeParameter(const QDateTime &value) const override;
    QVariant longTextParameter(const QByteArray &bytes) const override;
    QByteArray longTextValue(const QVariant &value) const override;
    // The production text: the table has nothing that tells the order of inserts.
    QString newestContentSql() const override;
    QStringList sessionSetupSql() const override;
    // Over ODBC: a connection SQLSTATE (class 08, a time-out, a deadlock victim) or the server's own
    // number for a broken link, a killed session, a shutdown, a deadlock or a lock time-out.
    QString savepointSql(const QString &name) const override;
    QString releaseSavepointSql(const QString &name) const override;
    QString rollbackToSavepointSql(const QString &name) const override;
    // An application lock owned by the transaction; lock names compare byte for byte, so the id is
    // folded to capitals as the column's collation compares it.
    QString messageLockSql() const override;

    QString currentDateTimeSql() const override;
    QString daysSinceReceiptSql() const override;
    QString pruneTrackingBatchSql() const override;
    QString createAuditSql() const override;
};
