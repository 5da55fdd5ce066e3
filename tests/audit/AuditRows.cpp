#include "tests/audit/AuditRows.h"

#include "shared/tracking/DbConnection.h"
#include "shared/tracking/DbStatement.h"

#include <QProcess>
#include <QSysInfo>

#include <pwd.h>
#include <unistd.h>

QStringList auditRows(DbConnection &connection)
{
    // In the order written: the table has no key, so by the backend's own row address.
    const QString written = connection.dialect().backend() == Backend::PostgreSql ? "ctid" : "rowid";
    DbStatement select(connection, "select Action, Subject, Outcome, UserName, HostName from OVTrack_Audit "
                                   "order by " +
                                       written);
    const DbResult result = select.open();
    QStringList rows;
    for (int row = 0; row < result.rowCount(); ++row)
        rows << QStringList{result.text(row, "Action"), result.text(row, "Subject"),
                            result.text(row, "Outcome"), result.text(row, "UserName"),
                            result.text(row, "HostName")}
                    .join(u'|');
    return rows;
}

namespace {

// A trigger that fails every `event` (INSERT, UPDATE) on `table` with "<table> is read-only".
void refuse(DbConnection &connection, const QString &table, const QString &event)
{
    const QString name = "refuse_" + table.toLower() + "_" + event.toLower();
    const QString message = table + " is read-only";
    if (connection.dialect().backend() == Backend::PostgreSql) {
        connection.execute("CREATE FUNCTION " + name +
                           "() RETURNS trigger LANGUAGE plpgsql AS $$BEGIN RAISE "
                           "EXCEPTION '" +
                           message + "'; END$$");
        connection.execute("CREATE TRIGGER " + name + " BEFORE " + event + " ON " + table +
                           " FOR EACH ROW EXECUTE FUNCTION " + name + "()");
        return;
    }
    connection.execute("CREATE TRIGGER " + name + " BEFORE " + event + " ON " + table +
                       " BEGIN SELECT RAISE(ABORT, '" + message + "'); END");
}

} // namespace

void refuseAuditWrites(DbConnection &connection)
{
    refuse(connection, "OVTrack_Audit", "INSERT");
}

void refuseTrackingUpdates(DbConnection &connection)
{
    refuse(connection, "Tracking", "UPDATE");
}

QString auditRow(const QString &action, const QString &subject, const QString &outcome)
{
    return QStringList{action, subject, outcome, QString::fromLocal8Bit(getpwuid(getuid())->pw_name),
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
