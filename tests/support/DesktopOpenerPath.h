#pragma once

#include "tests/support/TestFolder.h"

#include <QByteArray>

// For as long as it lives, PATH names one folder only, holding an `xdg-open` that exits with the given
// status as the real one does (3 when it finds no program for a file), or none at all: a desktop
// without a program for the file, as the viewer meets it on a bare machine.
class DesktopOpenerPath
{
public:
    static constexpr int NoOpener = -1;
    explicit DesktopOpenerPath(int exitStatus);
    ~DesktopOpenerPath();
    DesktopOpenerPath(const DesktopOpenerPath &) = delete;
    DesktopOpenerPath &operator=(const DesktopOpenerPath &) = delete;

    // The files the opener was asked to open, one a line.
    QByteArray openedFiles() const;

private:
    TestFolder m_folder;
    QByteArray m_oldPath;
};
