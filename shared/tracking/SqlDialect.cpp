#include "shared/tracking/SqlDialect.h"

#include "shared/tracking/PostgresDialect.h"
#include "shared/tracking/SqlServerDialect.h"
#include "shared/tracking/SqliteDialect.h"
#include "shared/tracking/TrackingSchema.h"
#include "shared/text/WallClock.h"

namespace {

// The earliest-delivery lookup around its two places for the message id.
QString lowDelivery(const QString &id)
{
    return QStringLiteral("select QZDeliveryTime,QZServerReceiveTime from Tracking where MsgID=") + id +
           QStringLiteral(" and  QZDeliveryTime in ") +
           QStringLiteral("(select min(QZDeliveryTime) as MinQZDeliveryTime from Tracking where ") +
           QStringLiteral("QZDeliveryTime is not null ") + QStringLiteral("and MsgId = ") + id +
           QStringLiteral(")");
}

} // namespace

QString contentLookupSql(const QString &newestFirst)
{
    QStringList lines{QStringLiteral("Select HMData from HM_Content"), QStringLiteral("where MsgId = :QMsgId")};
    if (!newestFirst.isEmpty())
        lines << newestFirst;
    return lines.join(QStringLiteral("\r\n"));
}

QString quoteMessageId(const QString &messageId)
{
    QString quoted = messageId;
    quoted.replace(u'\'', QLatin1String("''"));
    return quoted;
}

QString SqlDialect::createIndexSql(const QString &index, const QString &table, const QString &column) const
{
    return QStringLiteral("CREATE INDEX %1 ON %2 (%3)").arg(index, table, column);
}

QString SqlDialect::longestValueSql(const QString &table, const QString &column) const
{
    return QStringLiteral("select max(length(%2)) as n from %1").arg(table, column);
}

QStringList SqlDialect::rebuildTableSql(const QString &, const QStringList &, const QHash<QString, int> &) const
{
    return {};
}

QString SqlDialect::savepointSql(const QString &name) const
{
    return QStringLiteral("SAVEPOINT ") + name;
}

QString SqlDialect::releaseSavepointSql(const QString &name) const
{
    return QStringLiteral("RELEASE SAVEPOINT ") + name;
}

QString SqlDialect::rollbackToSavepointSql(const QString &name) const
{
    return QStringLiteral("ROLLBACK TO SAVEPOINT ") + name;
}

QString SqlDialect::likeCondition(const QString &column, const QString &parameter) const
{
    return column + QStringLiteral(" like :") + parameter;
}

QString SqlDialect::lowDeliverySql(const QString &messageId) const
{
    return lowDelivery(u'\'' + quoteMessageId(messageId) + u'\'');
}

QString SqlDialect::lowDeliveryBoundSql() const
{
    return lowDelivery(QStringLiteral(":MsgID"));
}

namespace {

int digitsAt(const QString &text, qsizetype from, qsizetype count)
{
    int n = 0;
    for (qsizetype i = from; i < from + count; ++i) {
        const QChar c = text.at(i);
        if (c < u'0' || c > u'9')
            return -1;
        n = n * 10 + (c.unicode() - u'0');
    }
    return n;
}

// "yyyy-MM-dd HH:mm:ss.zzz", the form the embedded database stores, read without the cost of a
// general date parser: result grids and the import read thousands of these.
std::optional<QDateTime> parseCanonicalDateTime(const QString &text)
{
    if (text.size() != 23 || text.at(4) != u'-' || text.at(7) != u'-' || text.at(10) != u' ' ||
        text.at(13) != u':' || text.at(16) != u':' || text.at(19) != u'.')
        return std::nullopt;
    const QDate date(digitsAt(text, 0, 4), digitsAt(text, 5, 2), digitsAt(text, 8, 2));
    const QTime time(digitsAt(text, 11, 2), digitsAt(text, 14, 2), digitsAt(text, 17, 2),
                     digitsAt(text, 20, 3));
    if (!date.isValid() || !time.isValid())
        return std::nullopt;
    return WallClock::of(date, time);
}

// The other forms a date-time may come back in, read as date and time apart: a local QDateTime
// would lose a time inside a daylight-saving gap.
std::optional<QDateTime> parseDateTimeText(const QString &text)
{
    const QDate date = QDate::fromString(text.left(10), QStringLiteral("yyyy-MM-dd"));
    if (!date.isValid())
        return std::nullopt;
    if (text.size() == 10)
        return WallClock::of(date);
    if (text.at(10) != u' ' && text.at(10) != u'T')
        return std::nullopt;
    const QString timeText = text.mid(11);
    for (const char *format : {"HH:mm:ss.zzz", "HH:mm:ss", "HH:mm"}) {
        const QTime time = QTime::fromString(timeText, QLatin1String(format));
        if (time.isValid())
            return WallClock::of(date, time);
    }
    return std::nullopt;
}

} // namespace

std::optional<QDateTime> SqlDialect::dateTimeValue(const QVariant &value) const
{
    if (value.isNull() || !value.isValid())
        return std::nullopt;
    if (value.metaType().id() == QMetaType::QDateTime)
        return WallClock::relabelled(value.toDateTime());
    if (value.metaType().id() == QMetaType::QDate)
        return WallClock::of(value.toDate());
    const QString text = value.toString().trimmed();
    if (const auto canonical = parseCanonicalDateTime(text))
        return canonical;
    return parseDateTimeText(text);
}

QByteArray SqlDialect::longTextValue(const QVariant &value) const
{
    if (value.metaType().id() == QMetaType::QByteArray)
        return value.toByteArray();
    return value.toString().toUtf8();
}

QString SqlDialect::undeliveredSummary(const QString &daysSinceReceipt, const QString &lastDelivery) const
{
    const QString dayCase = QStringLiteral("\tsum(case when (%1 %2) then 1 else 0 end) as %3,");
    return QStringList{
        QStringLiteral("select"),
        QStringLiteral("\tpracid,"),
        dayCase.arg(daysSinceReceipt, QStringLiteral("= 0"), QStringLiteral("count_today")),
        dayCase.arg(daysSinceReceipt, QStringLiteral("= 1"), QStringLiteral("count_today_1")),
        dayCase.arg(daysSinceReceipt, QStringLiteral("= 2"), QStringLiteral("count_today_2")),
        dayCase.arg(daysSinceReceipt, QStringLiteral("= 3"), QStringLiteral("count_today_3")),
        dayCase.arg(daysSinceReceipt, QStringLiteral(">= 4"), QStringLiteral("count_today_4_plus")),
        QStringLiteral("\tsum(1) as count_total,"),
        u'\t' + lastDelivery + QStringLiteral(" as last_delivery"),
        QStringLiteral("from "),
        QStringLiteral("\tTracking as t1"),
        QStringLiteral("where"),
        u'\t' + undeliveredConditionLines().at(0),
        QStringLiteral("                ") + undeliveredConditionLines().at(1),
        QStringLiteral("group by"),
        QStringLiteral("\tt1.pracid"),
        QStringLiteral("order by"),
        QStringLiteral("\tt1.pracid"),
    }
        .join(QStringLiteral("\r\n"));
}

QStringList SqlDialect::undeliveredConditionLines() const
{
    return {QStringLiteral("(t1.QZDeliveryTime is null or t1.QZDeliveryTime=%1 or t1.QZDeliveryTime=%2 )")
                .arg(dateLiteral(Sentinel::DecryptFailedDayFirst),
                     dateLiteral(Sentinel::DecryptFailedMonthFirst)),
            QStringLiteral("and t1.QZServerReceiveTime is not null")};
}

QString SqlDialect::settledBeforeCutoffSql(const QString &alias) const
{
    return QStringLiteral(
               "%1QZServerReceiveTime < :Cutoff and %1QZDeliveryTime is not null and %1QZDeliveryTime "
               "not in (%2, %3, %4)")
        .arg(alias, dateLiteral(Sentinel::Undeliverable), dateLiteral(Sentinel::DecryptFailedDayFirst),
             dateLiteral(Sentinel::DecryptFailedMonthFirst));
}

std::unique_ptr<SqlDialect> SqlDialect::create(Backend backend)
{
    switch (backend) {
    case Backend::SqlServer:
        return std::make_unique<SqlServerDialect>();
    case Backend::PostgreSql:
        return std::make_unique<PostgresDialect>();
    case Backend::Sqlite:
        break;
    }
    return std::make_unique<SqliteDialect>();
}
