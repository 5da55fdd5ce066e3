#include "loader/host/UnitFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <stdexcept>

namespace {

[[noreturn]] void fail(const QString &reason)
{
    throw std::runtime_error(reason.toStdString());
}

// A path as a word of the unit: "%" doubled for the specifier expansion, quoted when it holds
// blanks, quotes or backslashes.
QString unitWord(const QString &path)
{
    QString word = path;
    word.replace(u'%', QLatin1String("%%"));
    const bool needsQuotes = word.contains(u' ') || word.contains(u'\t') || word.contains(u'"') ||
                             word.contains(u'\'') || word.contains(u'\\');
    if (!needsQuotes)
        return word;
    word.replace(u'\\', QLatin1String("\\\\"));
    word.replace(u'"', QLatin1String("\\\""));
    return u'"' + word + u'"';
}

} // namespace

namespace UnitFile {

QString folder()
{
    const QString overridden = qEnvironmentVariable(FolderVariable);
    return overridden.isEmpty() ? QString::fromLatin1(SystemFolder) : overridden;
}

bool isSystemFolder(const QString &folder)
{
    return QDir::cleanPath(folder) == QLatin1String(SystemFolder);
}

QString text(const Settings &settings)
{
    // "-": a tracking folder that is missing at start is no reason to refuse the start.
    QStringList writable{unitWord(QLatin1Char('-') + settings.trackingFolder)};
    for (const QString &writableFolder : settings.writableFolders)
        writable << unitWord(writableFolder);
    QString directories;
    if (!settings.stateDirectory.isEmpty())
        directories += QStringLiteral("StateDirectory=%1\nStateDirectoryMode=0750\n")
                           .arg(unitWord(settings.stateDirectory));
    // Its files are the adm group's to read (0640 ovtrack:adm): the folder lets them through.
    if (!settings.logsDirectory.isEmpty())
        directories += QStringLiteral("LogsDirectory=%1\nLogsDirectoryMode=0755\n")
                           .arg(unitWord(settings.logsDirectory));
    // The loader reads and deletes files, talks to a database over a socket and to systemd; it needs
    // no privilege, device, kernel interface or namespace, so none is left to it.
    return QStringLiteral("[Unit]\n"
                          "Description=%1\n"
                          "Documentation=man:OVTrackSvc(8)\n"
                          "After=network-online.target\n"
                          "Wants=network-online.target\n"
                          "\n"
                          "[Service]\n"
                          "Type=notify\n"
                          "User=%2\n"
                          "ExecStart=%3\n"
                          "ExecReload=/bin/kill -HUP $MAINPID\n"
                          "Restart=on-failure\n"
                          "RestartSec=30\n"
                          "WatchdogSec=%4\n"
                          "UMask=0027\n"
                          "NoNewPrivileges=yes\n"
                          "CapabilityBoundingSet=\n"
                          "ProtectSystem=strict\n"
                          "ProtectHome=yes\n"
                          "PrivateTmp=yes\n"
                          "PrivateDevices=yes\n"
                          "ProtectKernelTunables=yes\n"
                          "ProtectKernelModules=yes\n"
                          "ProtectKernelLogs=yes\n"
                          "ProtectControlGroups=yes\n"
                          "ProtectClock=yes\n"
                          "ProtectHostname=yes\n"
                          "RestrictAddressFamilies=AF_UNIX AF_INET AF_INET6\n"
                          "RestrictNamespaces=yes\n"
                          "RestrictSUIDSGID=yes\n"
                          "RestrictRealtime=yes\n"
                          "LockPersonality=yes\n"
                          "SystemCallArchitectures=native\n"
                          "SystemCallFilter=@system-service\n"
                          "%6"
                          "ReadWritePaths=%5\n"
                          "\n"
                          "[Install]\n"
                          "WantedBy=multi-user.target\n")
        .arg(QLatin1String(DisplayName), unitWord(settings.user), unitWord(settings.programPath))
        .arg(WatchdogSeconds)
        .arg(writable.join(u' '), directories);
}

void write(const QString &path, const Settings &settings)
{
    if (!QFileInfo(QFileInfo(path).path()).isDir())
        fail(QStringLiteral("The unit folder %1 does not exist").arg(QFileInfo(path).path()));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        fail(QStringLiteral("Cannot write %1: %2").arg(path, file.errorString()));
    file.write(text(settings).toUtf8());
    if (!file.commit())
        fail(QStringLiteral("Cannot write %1: %2").arg(path, file.errorString()));
}

void remove(const QString &path)
{
    QFile file(path);
    if (!file.remove())
        fail(QStringLiteral("Cannot remove %1: %2").arg(path, file.errorString()));
}

} // namespace UnitFile
