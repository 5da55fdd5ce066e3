#include "viewer/app/UndeliveredCheck.h"

#include "shared/DbConnection.h"
#include "shared/DbStatement.h"

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
    const SqlDialect &dialect = connection.dialect();
    const QString days = dialect.daysSinceReceiptSql();
    DbStatement count(
        connection,
        QStringLiteral("select sum(case when %1 > :AgeDays then 1 else 0 end) as undelivered, "
                       "max(%1) as oldest_days from Tracking as t1 where %2 %3")
            .arg(days, dialect.undeliveredConditionLines().at(0), dialect.undeliveredConditionLines().at(1)));
    count.bind(QStringLiteral("AgeDays"), ParamType::Int, ageDays);
    const DbResult result = count.open();
    UndeliveredFigures figures;
    figures.undelivered = result.integer(0, QStringLiteral("undelivered")).value_or(0);
    figures.oldestDays = int(result.integer(0, QStringLiteral("oldest_days")).value_or(0));
    return figures;
}

CheckOutcome judgeUndelivered(const UndeliveredFigures &figures, const UndeliveredCheckOptions &options)
{
    CheckState state = CheckState::Ok;
    if (figures.undelivered > options.critical || figures.oldestDays > options.criticalAgeDays)
        state = CheckState::Critical;
    else if (figures.undelivered > options.warning)
        state = CheckState::Warning;
    QString line = QStringLiteral("OVTRACK %1 - %2 messages undeliverable or waiting over %3 days")
                       .arg(QLatin1String(stateWord(state)))
                       .arg(figures.undelivered)
                       .arg(options.ageDays);
    if (figures.undelivered > 0)
        line += QStringLiteral(", oldest %1 days").arg(figures.oldestDays);
    line += QStringLiteral(" | undelivered=%1;%2;%3 oldest_days=%4;%5;%6;0;")
                .arg(figures.undelivered)
                .arg(options.warning)
                .arg(options.critical)
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
