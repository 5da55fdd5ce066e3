#pragma once

#include "viewer/content/ContentLauncher.h"

// The launcher of a running viewer: a detached process for the renderer, the desktop's "open" for
// everything else. Needs a QGuiApplication for the desktop's "open".
class ContentLauncherDesktop : public ContentLauncher
{
public:
    // How long the desktop's opener may take to say that it found no program for a file. An opener
    // still running after this is running the program it found.
    static constexpr int OpenerVerdictMs = 1500;

    bool StartRenderer(const QString &program, const QStringList &arguments) override;
    bool OpenWithDesktop(const QString &filePath) override;
};
