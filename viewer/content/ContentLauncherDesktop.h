#pragma once

#include "viewer/content/ContentLauncher.h"

// The launcher of a running viewer: a detached process for the renderer, the desktop's "open"
// for everything else. Needs a QGuiApplication for the desktop's "open".
class ContentLauncherDesktop : public ContentLauncher
{
public:
    void StartRenderer(const QString &program, const QStringList &arguments) override;
    void OpenWithDesktop(const QString &filePath) override;
};
