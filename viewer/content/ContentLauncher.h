#pragma once

#include <QString>
#include <QStringList>

// The two ways the viewer hands a content file to another program. The viewer never waits for that
// program to end; it only learns whether one could be started for the file. Tests put a recording
// launcher in its place.
class ContentLauncher
{
public:
    virtual ~ContentLauncher();

    // Starts the external renderer as a detached process with the given argument list; false when it
    // could not be started.
    virtual bool StartRenderer(const QString &program, const QStringList &arguments) = 0;
    // Opens the file with the program the desktop associates with its type; false when no program
    // took it (no opener installed, or none for this type of file).
    virtual bool OpenWithDesktop(const QString &filePath) = 0;
};

// What the window says when no program could be started for `filePath`.
QString noProgramOpenedText(const QString &filePath);
