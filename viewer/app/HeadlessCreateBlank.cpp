#include "viewer/app/HeadlessCreateBlank.h"

#include "shared/tracking/DbConnection.h"
#include "shared/db/DbError.h"
#include "shared/tracking/DbStatement.h"
#include "viewer/app/HeadlessConnection.h"
#include "viewer/app/ViewerRunValues.h"
#include "viewer/audit/AccessAudit.h"

#include <QFile>
#include <QFileInfo>
#include <QTextStream>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Root making the embedded database in a folder that belongs to someone else (the service's
// /var/lib/ovtrack, a folder install) gives the file to that owner: a root-owned database there
// is read-only to the service. The file is opened without following links, and only a plain file
// with a single name is given away.
void giveToFolderOwner(const QString &file, QTextStream &errors)
{
    if (::geteuid() != 0)
        return;
    struct stat folder;
    if (::stat(QFile::encodeName(QFileInfo(file).absolutePath()).constData(), &folder) != 0 ||
        folder.st_uid == 0)
        return;
    const int fd = ::open(QFile::encodeName(file).constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return;
    struct stat status;
    if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && status.st_nlink == 1 &&
        ::fchown(fd, folder.st_uid, folder.st_gid) != 0)
        errors << "Cannot give " << file << " to the owner of its folder" << Qt::endl;
    ::close(fd);
}

} // namespace

int createBlankTrackTable(const ViewerRunValues &values, QTextStream &errors)
{
    DbConnection connection(values.AppPath, QStringLiteral("SQLNCLI.1"));
    if (!openHeadlessConnection(connection, values, errors, true))
        return 1;
    try {
        DbStatement create(connection, connection.dialect().createTrackingSql());
        create.execute();
        AccessAudit(connection, AuditIdentity::ofThisProcess()).ensureTable();
    } catch (const DbError &error) {
        errors << error.message() << Qt::endl;
        return 1;
    }
    if (connection.target().backend == Backend::Sqlite) {
        const QString file = connection.target().databaseName;
        connection.close(); // its journal files go with it
        giveToFolderOwner(file, errors);
    }
    return 0;
}
