#include "tests/service/LockedFolder.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include <unistd.h>

namespace {

bool chattr(const QString &flag, const QString &folder)
{
    const QString program = QStandardPaths::findExecutable(QStringLiteral("chattr"));
    if (program.isEmpty())
        return false;
    return QProcess::execute(program, {flag, folder}) == 0;
}

} // namespace

LockedFolder::LockedFolder(QString path) : m_folder(std::move(path))
{
    if (geteuid() == 0) {
        m_immutable = chattr(QStringLiteral("+i"), m_folder);
        m_locked = m_immutable;
    } else if (QFileInfo(m_folder).isDir()) {
        m_locked = QFile::setPermissions(m_folder, QFile::ReadOwner | QFile::ExeOwner);
    }
}

LockedFolder::~LockedFolder()
{
    unlock();
}

void LockedFolder::unlock()
{
    if (!m_locked)
        return;
    if (m_immutable)
        chattr(QStringLiteral("-i"), m_folder);
    else
        QFile::setPermissions(m_folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    m_locked = false;
}
