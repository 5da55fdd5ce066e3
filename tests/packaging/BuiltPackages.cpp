#include "tests/packaging/BuiltPackages.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>

#include <unistd.h>

#include <stdexcept>

namespace {

QString sourceDir()
{
    return qEnvironmentVariable("OVTRACK_SOURCE_DIR", QStringLiteral(OVTRACK_DEFAULT_SOURCE_DIR));
}

QString buildDir()
{
    return qEnvironmentVariable("OVTRACK_BUILD_DIR", QStringLiteral(OVTRACK_DEFAULT_BUILD_DIR));
}

BuiltPackages::Output checked(const BuiltPackages::Output &output, const QString &what)
{
    if (output.exitCode != 0)
        throw std::runtime_error((what + QStringLiteral(" failed: ") + output.standardError).toStdString());
    return output;
}

} // namespace

BuiltPackages::BuiltPackages() : m_dist(buildDir() + QStringLiteral("/test-packages"))
{
    m_version =
        checked(run(QStringLiteral("dpkg-parsechangelog"),
                    {QStringLiteral("-l"), sourceDir() + QStringLiteral("/packaging/debian/changelog"),
                     QStringLiteral("-S"), QStringLiteral("Version")}),
                QStringLiteral("dpkg-parsechangelog"))
            .standardOutput.trimmed();
}

QString BuiltPackages::deb(const QString &package) const
{
    const QString arch =
        package == u"ovtrack-common"
            ? QStringLiteral("all")
            : run(QStringLiteral("dpkg"), {QStringLiteral("--print-architecture")}).standardOutput.trimmed();
    return QStringLiteral("%1/%2_%3_%4.deb").arg(m_dist, package, m_version, arch);
}

QString BuiltPackages::field(const QString &package, const QString &name) const
{
    return run(QStringLiteral("dpkg-deb"), {QStringLiteral("--field"), deb(package), name})
        .standardOutput.trimmed();
}

QString BuiltPackages::controlFile(const QString &package, const QString &name) const
{
    const Output output = run(QStringLiteral("dpkg-deb"), {QStringLiteral("--info"), deb(package), name});
    return output.exitCode == 0 ? output.standardOutput : QString();
}

QStringList BuiltPackages::contents(const QString &package) const
{
    const Output listing =
        checked(run(QStringLiteral("dpkg-deb"), {QStringLiteral("--contents"), deb(package)}),
                QStringLiteral("dpkg-deb --contents"));
    QStringList entries;
    // drwxr-xr-x root/root 0 2026-12-09 16:00 ./usr/lib/ovtrack/
    for (const QString &line : listing.standardOutput.split(u'\n', Qt::SkipEmptyParts)) {
        const QStringList words = line.split(u' ', Qt::SkipEmptyParts);
        if (words.size() < 6)
            continue;
        QString path = words.mid(5).join(u' ');
        if (path.startsWith(QLatin1String("./")))
            path = path.mid(2);
        if (path.endsWith(u'/'))
            path.chop(1);
        if (!path.isEmpty())
            entries << words.at(0) + u' ' + words.at(1) + u' ' + path;
    }
    return entries;
}

void BuiltPackages::unpack(const QString &package, const QString &folder) const
{
    checked(run(QStringLiteral("dpkg-deb"), {QStringLiteral("--extract"), deb(package), folder}),
            QStringLiteral("dpkg-deb --extract"));
    const QString root = QDir(folder).absolutePath();
    QDirIterator entries(root, QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot,
                         QDirIterator::Subdirectories);
    while (entries.hasNext()) {
        const QString path = entries.next();
        char link[4096];
        const ssize_t size = ::readlink(QFile::encodeName(path).constData(), link, sizeof link - 1);
        if (size <= 0 || link[0] != '/')
            continue;
        const QString target = QString::fromLocal8Bit(link, static_cast<int>(size));
        if (target.startsWith(root + u'/'))
            continue; // pointed in by an earlier unpack into the same folder
        const QString rooted = root + target;
        if (!QFile::remove(path) || !QFile::link(rooted, path))
            throw std::runtime_error(("cannot point " + path + " into the unpacked tree").toStdString());
    }
}

BuiltPackages::Output BuiltPackages::run(const QString &program, const QStringList &arguments,
                                         const QStringList &environment)
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString &pair : environment)
        env.insert(pair.section(u'=', 0, 0), pair.section(u'=', 1));
    process.setProcessEnvironment(env);
    process.start(program, arguments);
    if (!process.waitForStarted(30000))
        return {-1, {}, program + QStringLiteral(" did not start")};
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished();
        return {-1, {}, program + QStringLiteral(" did not finish")};
    }
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromLocal8Bit(process.readAllStandardOutput()),
            QString::fromLocal8Bit(process.readAllStandardError())};
}
