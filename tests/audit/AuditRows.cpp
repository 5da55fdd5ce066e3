#include "tests/audit/AuditRows.h"

#include "shared/DbConnection.h"
#include "shared/DbStatement.h"

#include <QProcess>
#include <QSysInfo>

#include <pwd.h>
#include <unistd.h>

QStringList auditRows(DbConnection &connection)
{
    // In the order written: the table has no key, so by the backend's own row address.
    const QString written = connection.dialect().backend() == Backend::PostgreSql ? "ctid" : "rowid";
    DbStatement select(connection,
                       "select Action, Subject, UserName, HostName from OVTrack_Audit order by " + written);
    const DbResult result = select.open();
    QStringList rows;
    for (int row = 0; row < result.rowCount(); ++row)
        rows << QStringList{result.text(row, "Action"), result.text(row, "Subject"),
                            result.text(row, "UserName"), result.text(row, "HostName")}
                    .join(u'|');
    return rows;
}

void refuseAuditWrites(DbConnection &connection)
{
    if (connection.dialect().backend() == Backend::PostgreSql) {
        connection.execute("CREATE FUNCTION refuse_audit() RETURNS trigger LANGUAGE plpgsql AS "
                           "$$BEGIN RAISE EXCEPTION 'audit store is read-only'; END$$");
        connection.execute("CREATE TRIGGER refuse_audit BEFORE INSERT ON OVTrack_Audit FOR EACH ROW "
                           "EXECUTE FUNCTION refuse_audit()");
        return;
    }
    connection.execute("CREATE TRIGGER refuse_audit BEFORE INSERT ON OVTrack_Audit BEGIN SELECT "
                       "RAISE(ABORT, 'audit store is read-only'); END");
}

QString auditRow(const QString &action, const QString &subject)
{
    return QStringList{action, subject, QString::fromLocal8Bit(getpwuid(getuid())->pw_name),
                       QSysInfo::machineHostName()}
        .join(u'|');
}

ViewerRun runViewer(const QStringList &arguments, const QString &configHome)
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CONFIG_HOME", configHome);
    env.remove("DISPLAY");
    env.remove("QT_QPA_PLATFORM");
    process.setProcessEnvironment(env);
    process.start(OVTRACK_PROGRAM, arguments);
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        return {};
    }
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromLocal8Bit(process.readAllStandardOutput()),
            QString::fromLocal8Bit(process.readAllStandardError())};
}
