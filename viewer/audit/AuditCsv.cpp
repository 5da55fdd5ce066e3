#include "viewer/audit/AuditCsv.h"

#include "shared/tracking/DbConnection.h"
#include "shared/db/DbError.h"
#include "shared/tracking/DbResult.h"
#include "shared/tracking/DbStatement.h"
#include "viewer/audit/AccessAudit.h"
#include "viewer/search/CsvWriter.h"

qint64 writeAuditCsv(DbConnection &connection, const AuditPeriod &period, QIODevice &device)
{
    const SqlDialect &dialect = connection.dialect();
    // A table from before outcomes were recorded has no Outcome until a viewer's start-up adds it.
    DbStatement outcomeColumn(connection, dialect.columnExistsSql(QLatin1String(AccessAudit::TableName),
                                                                  QStringLiteral("Outcome")));
    const QString outcome =
        outcomeColumn.open().isEmpty() ? QStringLiteral("null") : QStringLiteral("Outcome");
    QString sql =
        QStringLiteral("select AuditTime, UserName, HostName, Action, Subject, %1 from OVTrack_Audit "
                       "where 1 = 1")
            .arg(outcome);
    if (period.from)
        sql += QStringLiteral(" and AuditTime >= :FromTime");
    if (period.to)
        sql += QStringLiteral(" and AuditTime < :ToTime");
    sql += QStringLiteral(" order by AuditTime");
    DbStatement select(connection, sql);
    if (period.from)
        select.bind(QStringLiteral("FromTime"), ParamType::DateTime, QDateTime(*period.from, QTime(0, 0)));
    if (period.to)
        select.bind(QStringLiteral("ToTime"), ParamType::DateTime,
                    QDateTime(period.to->addDays(1), QTime(0, 0)));

    CsvWriter csv(device);
    csv.writeRecord({QStringLiteral("Time"), QStringLiteral("User"), QStringLiteral("Host"),
                     QStringLiteral("Action"), QStringLiteral("Subject"), QStringLiteral("Outcome")});
    const std::unique_ptr<db::Cursor> cursor = select.query();
    qint64 rows = 0;
    while (cursor->next()) {
        const auto time = dialect.dateTimeValue(variantOf(cursor->value(0)));
        csv.writeRecord({time ? time->toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) : QString(),
                         cursor->text(1), cursor->text(2), cursor->text(3), cursor->text(4), cursor->text(5)});
        ++rows;
    }
    return rows;
}
