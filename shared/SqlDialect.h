#pragma once

#include "shared/ConnectionString.h"

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QVariant>

#include <memory>

class DbConnection;
class QSqlError;

// Every statement text that is not portable between the backends, and how date-times travel to
// and from each of them. Portable statements (inserts, updates, the search) live with their users.
class SqlDialect
{
public:
    virtual ~SqlDialect() = default;

    virtual Backend backend() const = 0;

    // Catalogue checks; names come from the program, never from data.
    virtual QString tableExistsSql(const QString &name) const = 0;
    virtual QString columnExistsSql(const QString &table, const QString &column) const = 0;
    virtual QString columnMaxLengthSql(const QString &table, const QString &column) const = 0;
    virtual QString addColumnSql(const QString &table, const QString &column, const QString &type,
                                 const QString &size) const = 0;
    virtual QString indexExistsSql(const QString &index) const = 0;
    virtual QString createIndexSql(const QString &index, const QString &table, const QString &column) const;

    // Brings the text columns to their widths (MsgID 100, FileType 50, the others 240).
    virtual void runWidthBatch(DbConnection &connection) const = 0;

    virtual QString createTrackingSql() const = 0;
    virtual QString createContentSql() const = 0;

    // The two message-id lookups. Pasted, as the production texts have them (single quotes in the
    // id doubled), or with the id bound as :MsgID, so that one prepared statement serves a whole
    // import. A backend binds unless its dialect keeps the pasted texts.
    virtual bool bindsLookupMessageId() const { return true; }
    virtual QString existingRowSql(const QString &messageId) const = 0;
    virtual QString existingRowBoundSql() const = 0;
    QString lowDeliverySql(const QString &messageId) const;
    QString lowDeliveryBoundSql() const;

    virtual QString undeliveredSummarySql() const = 0;
    virtual QString tagAsManagedSql() const = 0;
    // A search condition "column like :parameter" with the production database's case rules; "%" and
    // "_" are the only wildcards, and no character (a backslash neither) escapes anything.
    virtual QString likeCondition(const QString &column, const QString &parameter) const;

    // A sentinel date as the search statement writes it, quotes included.
    virtual QString dateLiteral(QDate date) const = 0;

    // How a date-time parameter is bound, and how a fetched value is read back.
    virtual QVariant dateTimeParameter(const QDateTime &value) const = 0;
    virtual std::optional<QDateTime> dateTimeValue(const QVariant &value) const;
    // How long text (content bytes) is bound.
    virtual QVariant longTextParameter(const QByteArray &bytes) const = 0;

    // Whether a database error's message says that a unique key refused a duplicate. The base knows
    // the production database's words; a backend adds its own.
    virtual bool isDuplicateKey(const QString &errorMessage) const;
    // Whether a failed statement means the session is gone (the server stopped or the link
    // broke), so that the next statement opens a new one.
    virtual bool connectionLost(const QSqlError &error) const;

    // Whether a connection holds at most one result that is still being read: another statement
    // would discard its remaining rows, so a reader must finish first.
    virtual bool readsOneResultAtATime() const { return false; }

    // Session settings run once after every open.
    virtual QStringList sessionSetupSql() const = 0;

    static std::unique_ptr<SqlDialect> create(Backend backend);

    // --- Retention, access audit and monitoring check -------------------------------------------
    // The four texts a backend writes its own way; the statements around them are shared.

    // The database server's current local date-time, as an expression.
    virtual QString currentDateTimeSql() const = 0;
    // Calendar-day boundaries between t1.QZServerReceiveTime and today, as DateDiff(day, ...) counts.
    virtual QString daysSinceReceiptSql() const = 0;
    // Deletes at most :BatchSize rows meeting settledBeforeCutoffSql() and yields one MsgID per
    // deleted row.
    virtual QString pruneTrackingBatchSql() const = 0;
    virtual QString createAuditSql() const = 0;

    // The undelivered summary's classification over `Tracking as t1`: its two WHERE lines.
    QStringList undeliveredConditionLines() const;
    // A row whose outcome is settled (delivered, emailed or managed) and that was received before
    // :Cutoff. Waiting, undeliverable and decrypt-failed rows never qualify. `alias` ("t.") prefixes
    // the columns.
    QString settledBeforeCutoffSql(const QString &alias = {}) const;

protected:
    // The undelivered summary's eighteen lines around the two expressions a backend writes its own
    // way: the days between receipt and today, and the practice's last delivery as text.
    QString undeliveredSummary(const QString &daysSinceReceipt, const QString &lastDelivery) const;
};

// A message id pasted between single quotes: each quote doubled.
QString quoteMessageId(const QString &messageId);
