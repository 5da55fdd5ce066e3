#include "viewer/audit/AccessAudit.h"

#include "shared/tracking/DbConnection.h"
#include "shared/tracking/DbStatement.h"

namespace {

const QString OutcomeColumn = QStringLiteral("Outcome");

QString reasonOf(const std::exception &error)
{
    return QString::fromStdString(error.what());
}

void rollBackIfOpen(DbConnection &connection)
{
    if (!connection.inTransaction())
        return;
    try {
        connection.rollback();
    } catch (const std::exception &) {
        // A session that is gone has rolled back by itself.
    }
}

} // namespace

QString rowsOutcome(qint64 rows, const char *done)
{
    return QStringLiteral("%1 rows %2").arg(rows).arg(QLatin1String(done));
}

AuditRefused::AuditRefused(const QString &reason)
    : std::runtime_error(
          (QStringLiteral("The access audit could not be written, so the action was not carried out.\r\n") +
           reason)
              .toStdString())
{}

AccessAudit::AccessAudit(DbConnection &connection, AuditIdentity identity, Table table)
    : m_connection(connection), m_identity(std::move(identity)), m_tableChecked(table == Table::Ready)
{}

void AccessAudit::ensureTable()
{
    const SqlDialect &dialect = m_connection.dialect();
    const QString table = QLatin1String(TableName);
    DbStatement probe(m_connection, dialect.tableExistsSql(table));
    if (probe.open().isEmpty()) {
        m_connection.execute(dialect.createAuditSql());
        m_connection.execute(dialect.createIndexSql(QStringLiteral("IX_OVTrack_Audit_AuditTime"), table,
                                                    QStringLiteral("AuditTime")));
    } else {
        DbStatement column(m_connection, dialect.columnExistsSql(table, OutcomeColumn));
        if (column.open().isEmpty())
            m_connection.execute(dialect.addColumnSql(table, OutcomeColumn, QStringLiteral("varchar"),
                                                      QString::number(OutcomeWidth)));
    }
    m_tableChecked = true;
}

void AccessAudit::insertRow(const char *action, const QString &subject, const QString &outcome)
{
    if (!m_tableChecked)
        ensureTable();
    DbStatement insert(m_connection,
                       QStringLiteral("insert into OVTrack_Audit (AuditTime, UserName, HostName, Action, "
                                      "Subject, Outcome) values (") +
                           m_connection.dialect().currentDateTimeSql() +
                           QStringLiteral(", :UserName, :HostName, :Action, :Subject, :Outcome)"));
    insert.bind(QStringLiteral("UserName"), ParamType::Text, m_identity.user);
    insert.bind(QStringLiteral("HostName"), ParamType::Text, m_identity.host);
    insert.bind(QStringLiteral("Action"), ParamType::Text, QString::fromLatin1(action));
    insert.bind(QStringLiteral("Subject"), ParamType::Text, subject);
    insert.bind(QStringLiteral("Outcome"), ParamType::Text,
                outcome.isEmpty() ? QVariant() : QVariant(outcome.left(OutcomeWidth)));
    if (insert.execute() != 1)
        throw std::runtime_error("The database stored no audit row.");
}

void AccessAudit::record(const char *action, const QString &subject, const QString &outcome)
{
    try {
        insertRow(action, subject, outcome);
    } catch (const std::exception &error) {
        throw AuditRefused(reasonOf(error));
    }
}

void AccessAudit::recordFailure(const char *action, const QString &subject, const std::exception &error)
{
    rollBackIfOpen(m_connection);
    try {
        insertRow(action, subject, QStringLiteral("failed: ") + reasonOf(error));
    } catch (const std::exception &refused) {
        throw AuditRefused(reasonOf(error) + QStringLiteral("\r\n") + reasonOf(refused));
    }
    throw;
}

void AccessAudit::carryOut(const char *action, const QString &subject, const Work &work)
{
    QString outcome;
    try {
        if (!work.actWritesDatabase)
            outcome = work.act();
        m_connection.beginTransaction();
        if (work.actWritesDatabase)
            outcome = work.act();
    } catch (const std::exception &error) {
        recordFailure(action, subject, error);
    }
    try {
        insertRow(action, subject, outcome);
    } catch (const std::exception &error) {
        rollBackIfOpen(m_connection);
        throw AuditRefused(reasonOf(error));
    }
    try {
        if (work.finish)
            work.finish();
        m_connection.commit();
    } catch (const std::exception &error) {
        recordFailure(action, subject, error);
    }
}

void AccessAudit::recordAtStartup(DbConnection &connection, const char *action, const QString &subject)
{
    AccessAudit(connection, AuditIdentity::ofThisProcess(), Table::EnsureBeforeFirstRow)
        .record(action, subject);
}
