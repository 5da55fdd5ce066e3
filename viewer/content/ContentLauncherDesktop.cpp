#include "viewer/content/ContentLauncherDesktop.h"

#include <QDesktopServices>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

bool ContentLauncherDesktop::StartRenderer(const QString &program, const QStringList &arguments)
{
    // An argument list, not one command line, so that blanks in paths survive.
    return QProcess::startDetached(program, arguments);
}

bool ContentLauncherDesktop::OpenWithDesktop(const QString &filePath)
{
    // Qt's own "open" starts xdg-open and reports success once it runs, even when it then finds no
    // program for the file; its exit status says whether it did.
    const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (opener.isEmpty())
        return QDesktopServices::openUrl(QUrl::fromLocalFile(filePath));
    auto *process = new QProcess;
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setStandardErrorFile(QProcess::nullDevice());
    process->start(opener, {filePath});
    if (!process->waitForStarted()) {
        delete process;
        return false;
    }
    if (process->waitForFinished(OpenerVerdictMs)) {
        const bool opened = process->exitStatus() == QProcess::NormalExit && process->exitCode() == 0;
        delete process;
        return opened;
    }
    // The opener runs the program in the foreground; it goes on without the viewer waiting for it.
    QObject::connect(process, &QProcess::finished, process, &QObject::deleteLater);
    return true;
}
