#pragma once

#include "shared/config/ConnectionString.h"

#include <QDate>
#include <QDateTime>
#include <QHash>
#include <QString>
#include <QVariant>

#include <memory>

class DbConnection;

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
    // Where the backend has it, IF NOT EXISTS: two programs starting at once may both create.
    virtual QString createIndexSql(const QString &index, const QString &table, const QString &column) const;

    // The width upgrade, one column at a time (MsgID 100, FileType 50, the other text columns 240).
    // The statement that gives `column` the text `width`, or the date-time type when `width` is 0;
    // empty where the backend cannot alter a column (rebuildTableSql instead).
    virtual QString alterColumnSql(const QString &table, const QString &column, int width,
                                   bool notNull) const = 0;
    // The length in characters of the longest value of a text column, as "n".
    virtual QString longestValueSql(const QString &table, const QString &column) const;
    // Where no column can be altered: the statements, for one transaction, that rebuild `table`
    // with each text column as wide as `widths` says (Tracking) or the upgrade's widths
    // (HM_CONTENT), copying the columns `copied`.
    virtual QStringList rebuildTableSql(const QString &table, const QStringList &copied,
                                        const QHash<QString, int> &widths) const;

    virtual QString createTrackingSql() const = 0;
    virtual QString createContentSql() const = 0; // IF NOT EXISTS where the backend has it

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
    // How long text (content bytes) is bound, and how a fetched value gives the bytes back.
    virtual QVariant longTextParameter(const QByteArray &bytes) const = 0;
    virtual QByteArray longTextValue(const QVariant &value) const;

    // A message's content, the newest copy where several were stored, for :QMsgId.
    virtual QString newestContentSql() const = 0;

    // A transaction begun inside another is a savepoint; a backend without a release returns none.
    virtual QString savepointSql(const QString &name) const;
    virtual QString releaseSavepointSql(const QString &name) const;
    virtual QString rollbackToSavepointSql(const QString &name) const;

    // Holds the message id :MsgID against every other writer until the write transaction it runs
    // in ends, so that the lookup of its row and the writes that follow it are one step. Ids the
    // table takes for equal are held as one. Empty where beginning the write transaction already
    // holds the whole database (SQLite).
    virtual QString messageLockSql() const { return {}; }

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

// The lookup of a message's content, followed by `newestFirst` (the ordering and limit that leave
// the newest copy) when the backend has one.
QString contentLookupSql(const QString &newestFirst);

// A message id pasted between single quotes: each quote doubled.
QString quoteMessageId(const QString &messageId);
