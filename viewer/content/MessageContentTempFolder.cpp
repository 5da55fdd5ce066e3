#include "viewer/content/MessageContentTempFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <cerrno>
#include <limits>

#include <signal.h>
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

// "OVTrack-<process id>-<six random letters or digits>": the folder names which process made it.
const QRegularExpression &ownFolderName()
{
    static const QRegularExpression name(QStringLiteral("^OVTrack-([0-9]{1,10})-[A-Za-z0-9]{6}$"));
    return name;
}

bool processIsGone(qint64 pid)
{
    if (pid <= 0 || pid > std::numeric_limits<pid_t>::max())
        return false;
    return ::kill(pid_t(pid), 0) != 0 && errno == ESRCH;
}

QString absoluteFolder(const QString &tempPath)
{
    return QDir(tempPath.isEmpty() ? QStringLiteral(".") : tempPath).absolutePath();
}

} // namespace

MessageContentTempFolder::MessageContentTempFolder(QString tempPath) : m_tempPath(std::move(tempPath))
{
    RemoveLeftOvers(m_tempPath);
    create();
}

QStringList MessageContentTempFolder::RemoveLeftOvers(const QString &tempPath)
{
    // A viewer that was killed never removed its folder. Only folders of ours, private to this user,
    // whose process is gone are taken: another viewer's folder stays while it runs.
    QStringList removed;
    const QDir folder(absoluteFolder(tempPath));
    for (const QString &name : folder.entryList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot)) {
        const QRegularExpressionMatch match = ownFolderName().match(name);
        if (!match.hasMatch() || !processIsGone(match.captured(1).toLongLong()))
            continue;
        const QString path = folder.filePath(name);
        if (isPrivateFolder(path) && QDir(path).removeRecursively())
            removed << path;
    }
    return removed;
}

MessageContentTempFolder::~MessageContentTempFolder() = default;

bool MessageContentTempFolder::create()
{
    auto dir = std::make_unique<QTemporaryDir>(absoluteFolder(m_tempPath) +
                                               QStringLiteral("/OVTrack-%1-XXXXXX").arg(::getpid()));
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
