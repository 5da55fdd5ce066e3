#include "viewer/content/MessageContentTempFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <unistd.h>

namespace {

constexpr QFile::Permissions OwnerOnly = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
constexpr QFile::Permissions OthersBits = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup |
                                          QFile::ReadOther | QFile::WriteOther | QFile::ExeOther;

bool isPrivateFolder(const QString &path)
{
    const QFileInfo info(path);
    return info.isDir() && !info.isSymLink() && info.ownerId() == ::geteuid() &&
           (info.permissions() & OwnerOnly) == OwnerOnly && (info.permissions() & OthersBits) == 0;
}

} // namespace

MessageContentTempFolder::MessageContentTempFolder(QString tempPath) : m_tempPath(std::move(tempPath))
{
    create();
}

MessageContentTempFolder::~MessageContentTempFolder() = default;

bool MessageContentTempFolder::create()
{
    QString base = QDir(m_tempPath.isEmpty() ? QStringLiteral(".") : m_tempPath).absolutePath();
    auto dir = std::make_unique<QTemporaryDir>(base + QStringLiteral("/OVTrack-XXXXXX"));
    if (!dir->isValid())
        return false;
    // Made 0700 already; set it again in case the platform let the umask in, then make sure.
    QFile::setPermissions(dir->path(), OwnerOnly);
    if (!isPrivateFolder(dir->path()))
        return false; // removed with `dir`
    m_dir = std::move(dir);
    return true;
}

QString MessageContentTempFolder::Path()
{
    if ((!m_dir || !QFileInfo(m_dir->path()).isDir()) && !create())
        return {};
    return m_dir->path() + u'/';
}

void MessageContentTempFolder::Remove()
{
    m_dir.reset();
}
