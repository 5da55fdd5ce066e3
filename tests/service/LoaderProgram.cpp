#include "tests/service/LoaderProgram.h"

#include "tests/service/FileAge.h"
#include "tools/prepare-run/ProgramFolder.h"

#include "shared/tracking/DbStatement.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include <signal.h>

#include <stdexcept>

QString builtLoaderProgram()
{
    QString build = qEnvironmentVariable("OVTRACK_BUILD_DIR");
    if (build.isEmpty())
        build = QStringLiteral(OVTRACK_DEFAULT_BUILD_DIR);
    return build + QStringLiteral("/loader/host/OVTrackSvc");
}

LoaderProgram::LoaderProgram(const QString &initString) : m_database(m_folder.path())
{
    if (!QFile::copy(builtLoaderProgram(), programPath()))
        throw std::runtime_error(("cannot copy " + builtLoaderProgram()).toStdString());
    ProgramFolder::prepare(m_folder.path(), trackingDir(), initString);
    m_database.open(initString.isEmpty() ? ProgramFolder::sqliteInitString() : initString);
}

LoaderProgram::~LoaderProgram()
{
    m_database.close();
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

QString LoaderProgram::dropFile(const QString &name, const QByteArray &bytes) const
{
    const QString path = m_folder.writeFile(QStringLiteral("tracking/") + name, bytes);
    makeSettled(path);
    return path;
}

QString LoaderProgram::dropTracking(const QString &name, const QStringList &lines) const
{
    return dropFile(name, (lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")).toUtf8());
}

int LoaderProgram::waitingFiles() const
{
    return static_cast<int>(
        QDir(trackingDir()).entryList({"*.qzd", "*.csv", "*.data", "*.qzdata"}, QDir::Files).size());
}

namespace {

QProcessEnvironment environmentWith(const QStringList &pairs)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString &pair : pairs)
        env.insert(pair.section(u'=', 0, 0), pair.section(u'=', 1));
    return env;
}

} // namespace

LoaderProgram::Result LoaderProgram::run(const QStringList &arguments, const QStringList &environment) const
{
    QProcess process;
    process.setWorkingDirectory(m_folder.path());
    process.setProcessEnvironment(environmentWith(environment));
    process.start(programPath(), arguments);
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        return {};
    }
    Result result;
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.standardOutput = QString::fromLocal8Bit(process.readAllStandardOutput());
    result.standardError = QString::fromLocal8Bit(process.readAllStandardError());
    return result;
}

void LoaderProgram::start(const QStringList &arguments, int turnMilliseconds, const QStringList &environment)
{
    QProcessEnvironment env = environmentWith(environment);
    env.insert(QStringLiteral("OVTRACK_TURN_MS"), QString::number(turnMilliseconds));
    m_process.setProcessEnvironment(env);
    m_process.setWorkingDirectory(m_folder.path());
    m_process.start(programPath(), arguments);
    if (!m_process.waitForStarted())
        throw std::runtime_error("OVTrackSvc did not start");
}

void LoaderProgram::sendSignal(int signal) const
{
    ::kill(static_cast<pid_t>(m_process.processId()), signal);
}

std::optional<int> LoaderProgram::waitForExit(int timeoutMilliseconds)
{
    if (!m_process.waitForFinished(timeoutMilliseconds) || m_process.exitStatus() != QProcess::NormalExit)
        return std::nullopt;
    return m_process.exitCode();
}

int LoaderProgram::rowCount(const QString &table)
{
    DbStatement count(m_database, QStringLiteral("select count(*) as n from ") + table);
    return static_cast<int>(count.open().integer(0, QStringLiteral("n")).value_or(-1));
}

QVariant LoaderProgram::field(const QString &msgId, const QString &column)
{
    DbStatement select(m_database,
                       QStringLiteral("select %1 as v from Tracking where MsgID = :id").arg(column));
    select.bind(QStringLiteral("id"), ParamType::Text, msgId);
    const DbResult result = select.open();
    return result.rowCount() == 0 ? QVariant() : result.value(0, QStringLiteral("v"));
}

std::vector<QByteArray> LoaderProgram::content(const QString &msgId)
{
    DbStatement select(m_database,
                       QStringLiteral("select HMData from HM_CONTENT where MsgID = :id order by rowid"));
    select.bind(QStringLiteral("id"), ParamType::Text, msgId);
    const DbResult result = select.open();
    std::vector<QByteArray> stored;
    for (int row = 0; row < result.rowCount(); ++row)
        stored.push_back(result.value(row, QStringLiteral("HMData")).toByteArray());
    return stored;
}

QString LoaderProgram::log() const
{
    QFile file(m_folder.path() + QStringLiteral("importtrack.log"));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

bool LoaderProgram::waitFor(const std::function<bool()> &condition, int timeoutMilliseconds)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeoutMilliseconds)
            return false;
        QThread::msleep(10);
    }
    return true;
}
