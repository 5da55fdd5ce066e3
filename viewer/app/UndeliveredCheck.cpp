#include "viewer/app/UndeliveredCheck.h"

#include "shared/tracking/DbConnection.h"
#include "shared/tracking/DbStatement.h"
#include "shared/tracking/TrackingSchema.h"

#include <algorithm>

#include <QFileInfo>

namespace {

const char *stateWord(CheckState state)
{
    switch (state) {
    case CheckState::Ok:
        return "OK";
    case CheckState::Warning:
        return "WARNING";
    case CheckState::Critical:
        return "CRITICAL";
    case CheckState::Unknown:
        break;
    }
    return "UNKNOWN";
}

} // namespace

UndeliveredFigures countUndelivered(DbConnection &connection, int ageDays)
{
    // One row per kind that has messages: 1 for undeliverable, 0 for waiting or decrypt-failed. A
    // managed message carries its own date, so it is in neither.
    const SqlDialect &dialect = connection.dialect();
    const QString days = dialect.daysSinceReceiptSql();
    const QString undeliverable =
        QStringLiteral("t1.QZDeliveryTime = ") + dialect.dateLiteral(Sentinel::Undeliverable);
    const QString kind = QStringLiteral("case when %1 then 1 else 0 end").arg(undeliverable);
    const QStringList waiting = dialect.undeliveredConditionLines();
    DbStatement count(
        connection,
        QStringLiteral("select %1 as undeliverable, sum(case when %2 > :AgeDays then 1 else 0 end) "
                       "as over_age, max(%2) as oldest_days from Tracking as t1 "
                       "where (%3 or %4) %5 group by %1")
            .arg(kind, days, waiting.at(0), undeliverable, waiting.at(1)));
    count.bind(QStringLiteral("AgeDays"), ParamType::Int, ageDays);
    const DbResult result = count.open();
    UndeliveredFigures figures;
    for (int row = 0; row < result.rowCount(); ++row) {
        const qint64 overAge = result.integer(row, QStringLiteral("over_age")).value_or(0);
        if (result.integer(row, QStringLiteral("undeliverable")).value_or(0) == 1)
            figures.undeliverable = overAge;
        else
            figures.waiting = overAge;
        figures.oldestDays =
            std::max(figures.oldestDays, int(result.integer(row, QStringLiteral("oldest_days")).value_or(0)));
    }
    return figures;
}

CheckOutcome judgeUndelivered(const UndeliveredFigures &figures, const UndeliveredCheckOptions &options)
{
    CheckState state = CheckState::Ok;
    const qint64 undelivered = figures.undelivered();
    if (undelivered > options.critical || figures.oldestDays > options.criticalAgeDays)
        state = CheckState::Critical;
    else if (undelivered > options.warning)
        state = CheckState::Warning;
    QString line = QStringLiteral("OVTRACK %1 - %2 messages undeliverable or waiting over %3 days")
                       .arg(QLatin1String(stateWord(state)))
                       .arg(undelivered)
                       .arg(options.ageDays);
    if (undelivered > 0)
        line += QStringLiteral(", oldest %1 days").arg(figures.oldestDays);
    line += QStringLiteral(" | undelivered=%1;%2;%3 undeliverable=%4 waiting=%5 oldest_days=%6;%7;%8;0;")
                .arg(undelivered)
                .arg(options.warning)
                .arg(options.critical)
                .arg(figures.undeliverable)
                .arg(figures.waiting)
                .arg(figures.oldestDays)
                .arg(options.ageDays)
                .arg(options.criticalAgeDays);
    return {state, line};
}

CheckOutcome unknownOutcome(const QString &reason)
{
    QString flat = reason;
    flat.replace(QLatin1String("\r\n"), QLatin1String(" ")).replace(u'\n', u' ');
    return {CheckState::Unknown, QStringLiteral("OVTRACK UNKNOWN - ") + flat};
}

CheckOutcome checkUndelivered(const QString &appPath, const QString &connectionString,
                              const UndeliveredCheckOptions &options)
{
    if (connectionString.isEmpty())
        return unknownOutcome(QStringLiteral("no database connection defined"));
    DbConnection connection(appPath, QStringLiteral("SQLNCLI.1"));
    try {
        connection.open(connectionString);
    } catch (const std::exception &error) {
        // The monitoring user may read the embedded database but not write in its folder: while
        // the loader is not running there is no write-ahead log, and SQLite cannot make one for it.
        const ConnectionTarget &target = connection.target();
        const bool atRest = target.backend == Backend::Sqlite && QFileInfo::exists(target.databaseName) &&
                            !QFileInfo::exists(target.databaseName + QStringLiteral("-wal"));
        try {
            if (!atRest)
                throw;
            connection.openAtRest(connectionString);
        } catch (const std::exception &) {
            return unknownOutcome(QStringLiteral("cannot connect to the database: ") +
                                  QString::fromStdString(error.what()));
        }
    }
    try {
        DbStatement probe(connection, connection.dialect().tableExistsSql(QStringLiteral("Tracking")));
        if (probe.open().isEmpty())
            return unknownOutcome(QStringLiteral("the database has no Tracking table"));
        return judgeUndelivered(countUndelivered(connection, options.ageDays), options);
    } catch (const std::exception &error) {
        return unknownOutcome(QStringLiteral("cannot read the Tracking table: ") +
                              QString::fromStdString(error.what()));
    }
}
