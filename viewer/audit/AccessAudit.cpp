#include "viewer/audit/AccessAudit.h"

#include "shared/DbConnection.h"
#include "shared/DbStatement.h"

AuditRefused::AuditRefused(const QString &reason)
    : std::runtime_error(
          (QStringLiteral("The access audit could not be written, so the action was not carried out.\r\n") +
           reason)
              .toStdString())
{}

AccessAudit::AccessAudit(DbConnection &connection, AuditIdentity identity)
    : m_connection(connection), m_identity(std::move(identity))
{}

void AccessAudit::ensureTable()
{
    const SqlDialect &dialect = m_connection.dialect();
    const QString table = QLatin1String(TableName);
    DbStatement probe(m_connection, dialect.tableExistsSql(table));
    if (!probe.open().isEmpty())
        return;
    m_connection.execute(dialect.createAuditSql());
    m_connection.execute(dialect.createIndexSql(QStringLiteral("IX_OVTrack_Audit_AuditTime"), table,
                                                QStringLiteral("AuditTime")));
}

void AccessAudit::record(const char *action, const QString &subject)
{
    try {
        DbStatement insert(m_connection,
                           QStringLiteral("insert into OVTrack_Audit (AuditTime, UserName, HostName, Action, "
                                          "Subject) values (") +
                               m_connection.dialect().currentDateTimeSql() +
                               QStringLiteral(", :UserName, :HostName, :Action, :Subject)"));
        insert.bind(QStringLiteral("UserName"), ParamType::Text, m_identity.user);
        insert.bind(QStringLiteral("HostName"), ParamType::Text, m_identity.host);
        insert.bind(QStringLiteral("Action"), ParamType::Text, QString::fromLatin1(action));
        insert.bind(QStringLiteral("Subject"), ParamType::Text, subject);
        if (insert.execute() != 1)
            throw AuditRefused(QStringLiteral("The database stored no audit row."));
    } catch (const AuditRefused &) {
        throw;
    } catch (const std::exception &error) {
        throw AuditRefused(QString::fromStdString(error.what()));
    }
}

void AccessAudit::recordAtStartup(DbConnection &connection, const char *action, const QString &subject)
{
    AccessAudit audit(connection, AuditIdentity::ofThisProcess());
    try {
        audit.ensureTable();
    } catch (const std::exception &error) {
        throw AuditRefused(QString::fromStdString(error.what()));
    }
    audit.record(action, subject);
}
