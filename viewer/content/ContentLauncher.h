#pragma once

#include <QString>
#include <QStringList>

// The two ways the viewer hands a content file to another program. The viewer never waits for
// that program nor looks at whether it started. Tests put a recording launcher in its place.
class ContentLauncher
{
public:
    virtual ~ContentLauncher();

    // Starts the external renderer as a detached process with the given argument list.
    virtual void StartRenderer(const QString &program, const QStringList &arguments) = 0;
    // Opens the file with the program the desktop associates with its type.
    virtual void OpenWithDesktop(const QString &filePath) = 0;
};
