#include "viewer/audit/AuditCsv.h"

#include "shared/DbConnection.h"
#include "shared/DbError.h"
#include "shared/DbFieldValue.h"
#include "shared/DbStatement.h"
#include "viewer/audit/AccessAudit.h"
#include "viewer/search/CsvWriter.h"

#include <QSqlError>
#include <QSqlQuery>

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
    QSqlQuery query = select.prepareBound();
    if (!query.exec())
        throw DbError(DbError::Kind::Other, sqlErrorText(query.lastError()));
    qint64 rows = 0;
    while (query.next()) {
        const auto time = dialect.dateTimeValue(fieldValue(query, 0));
        csv.writeRecord({time ? time->toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) : QString(),
                         query.value(1).toString(), query.value(2).toString(), query.value(3).toString(),
                         query.value(4).toString(), query.value(5).toString()});
        ++rows;
    }
    if (query.lastError().isValid())
        throw DbError(DbError::Kind::Other, sqlErrorText(query.lastError()));
    return rows;
}
