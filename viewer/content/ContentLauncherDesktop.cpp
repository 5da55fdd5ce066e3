#include "viewer/content/ContentLauncherDesktop.h"

#include <QDesktopServices>
#include <QProcess>
#include <QUrl>

void ContentLauncherDesktop::StartRenderer(const QString &program, const QStringList &arguments)
{
    // An argument list, not one command line, so that blanks in paths survive.
    QProcess::startDetached(program, arguments);
}

void ContentLauncherDesktop::OpenWithDesktop(const QString &filePath)
{
    QDesktopServices::openUrl(QUrl::fromLocalFile(filePath));
}
