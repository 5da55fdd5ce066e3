#include "tests/support/DesktopOpenerPath.h"

#include <QFile>

DesktopOpenerPath::DesktopOpenerPath(int exitStatus) : m_oldPath(qgetenv("PATH"))
{
    if (exitStatus != NoOpener) {
        const QString opener = m_folder.writeFile(
            QStringLiteral("xdg-open"),
            QByteArrayLiteral("#!/bin/sh\nprintf '%s\\n' \"$1\" >> \"${0%/*}/opened.txt\"\nexit ") +
                QByteArray::number(exitStatus) + '\n');
        QFile::setPermissions(opener, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    qputenv("PATH", m_folder.path().toLocal8Bit());
}

DesktopOpenerPath::~DesktopOpenerPath()
{
    qputenv("PATH", m_oldPath);
}

QByteArray DesktopOpenerPath::openedFiles() const
{
    return m_folder.exists(QStringLiteral("opened.txt")) ? m_folder.readFile(QStringLiteral("opened.txt"))
                                                          : QByteArray();
}
