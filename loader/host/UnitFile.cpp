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
                          "NoNewPrivileges=yes\n"
                          "ProtectSystem=strict\n"
                          "ProtectHome=yes\n"
                          "PrivateTmp=yes\n"
                          "ReadWritePaths=%5\n"
                          "\n"
                          "[Install]\n"
                          "WantedBy=multi-user.target\n")
        .arg(QLatin1String(DisplayName), unitWord(settings.user), unitWord(settings.programPath))
        .arg(WatchdogSeconds)
        .arg(writable.join(u' '));
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
