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

// A path as an ExecStart word: "%" doubled for the specifier expansion, quoted when it holds
// blanks, quotes or backslashes.
QString execWord(const QString &path)
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

QString text(const QString &programPath)
{
    return QStringLiteral("[Unit]\n"
                          "Description=%1\n"
                          "\n"
                          "[Service]\n"
                          "Type=simple\n"
                          "ExecStart=%2\n"
                          "ExecReload=/bin/kill -HUP $MAINPID\n"
                          "Restart=on-failure\n"
                          "RestartSec=30\n"
                          "\n"
                          "[Install]\n"
                          "WantedBy=multi-user.target\n")
        .arg(QLatin1String(DisplayName), execWord(programPath));
}

void write(const QString &path, const QString &programPath)
{
    if (!QFileInfo(QFileInfo(path).path()).isDir())
        fail(QStringLiteral("The unit folder %1 does not exist").arg(QFileInfo(path).path()));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        fail(QStringLiteral("Cannot write %1: %2").arg(path, file.errorString()));
    file.write(text(programPath).toUtf8());
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
