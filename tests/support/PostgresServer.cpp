#include "tests/support/PostgresServer.h"

#include <QDir>
#include <QFile>
#include <QProcess>

#include <unistd.h>

namespace {

const QString BinFolder = QStringLiteral("/usr/lib/postgresql/15/bin");

bool runningAsRoot()
{
    return ::geteuid() == 0;
}

} // namespace

PostgresServer::PostgresServer(QString folder) : m_folder(QDir::cleanPath(std::move(folder))) {}

QString PostgresServer::unavailableReason()
{
    for (const char *tool : {"initdb", "pg_ctl", "postgres"}) {
        const QString path = BinFolder + u'/' + QLatin1String(tool);
        if (!QFile::exists(path))
            return QStringLiteral("PostgreSQL is not installed here (%1 is missing)").arg(path);
    }
    return {};
}

int PostgresServer::run(const QString &program, const QStringList &arguments, QString *output) const
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    const QString tool = BinFolder + u'/' + program;
    if (runningAsRoot())
        process.start(QStringLiteral("runuser"), QStringList{QStringLiteral("-u"), QStringLiteral("postgres"),
                                                             QStringLiteral("--"), tool} +
                                                     arguments);
    else
        process.start(tool, arguments);
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished();
    }
    if (output)
        *output = QString::fromLocal8Bit(process.readAll());
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

bool PostgresServer::start(QString *error)
{
    const QString reason = unavailableReason();
    if (!reason.isEmpty()) {
        if (error)
            *error = reason;
        return false;
    }
    QDir().mkpath(m_folder);
    if (runningAsRoot())
        QProcess::execute(QStringLiteral("chown"), {QStringLiteral("postgres:"), m_folder});
    const QString data = m_folder + QStringLiteral("/data");
    QString output;
    if (!QFile::exists(data + QStringLiteral("/PG_VERSION")) &&
        run(QStringLiteral("initdb"),
            {QStringLiteral("-D"), data, QStringLiteral("-A"), QStringLiteral("trust"), QStringLiteral("-U"),
             superuser(), QStringLiteral("-E"), QStringLiteral("UTF8"), QStringLiteral("--locale=C"),
             QStringLiteral("--no-sync")},
            &output) != 0) {
        if (error)
            *error = QStringLiteral("initdb failed: ") + output;
        return false;
    }
    const QString options =
        QStringLiteral("-k %1 -c listen_addresses= -c fsync=off -c synchronous_commit=off "
                       "-c full_page_writes=off -c max_connections=200")
            .arg(m_folder);
    if (run(QStringLiteral("pg_ctl"),
            {QStringLiteral("-D"), data, QStringLiteral("-l"), m_folder + QStringLiteral("/server.log"),
             QStringLiteral("-w"), QStringLiteral("-o"), options, QStringLiteral("start")},
            &output) != 0) {
        if (error)
            *error = QStringLiteral("pg_ctl start failed: ") + output;
        return false;
    }
    return true;
}

bool PostgresServer::stop()
{
    return run(QStringLiteral("pg_ctl"),
               {QStringLiteral("-D"), m_folder + QStringLiteral("/data"), QStringLiteral("-m"),
                QStringLiteral("fast"), QStringLiteral("-w"), QStringLiteral("stop")}) == 0;
}

bool PostgresServer::isRunning() const
{
    return QFile::exists(m_folder + QStringLiteral("/.s.PGSQL.5432"));
}

QString PostgresServer::connectionString(const QString &database) const
{
    return QStringLiteral("Provider=PostgreSQL;Data Source=%1;Initial Catalog=%2;User ID=%3")
        .arg(m_folder, database, superuser());
}
