#include "loader/host/ServiceRegistration.h"

#include "loader/host/UnitFile.h"
#include "shared/config/SettingsFile.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include <cstdio>
#include <stdexcept>

namespace {

// Runs systemctl with the arguments when it exists; throws with its own text when it fails. A unit
// written to another folder (a test, a staging tree) is none of the system manager's business.
void systemctl(const QString &unitFolder, const QStringList &arguments)
{
    if (!UnitFile::isSystemFolder(unitFolder))
        return;
    const QString program = QStandardPaths::findExecutable(QStringLiteral("systemctl"));
    if (program.isEmpty())
        return;
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        QString reason = QString::fromLocal8Bit(process.readAllStandardError()).trimmed();
        if (reason.isEmpty())
            reason = QStringLiteral("systemctl %1 failed").arg(arguments.join(u' '));
        throw std::runtime_error(reason.toStdString());
    }
}

int report(bool ok, bool silent, const char *success, const char *verb, const QString &error)
{
    if (ok) {
        if (!silent)
            std::printf("%s\n", success);
        return 0;
    }
    std::fprintf(stderr, "%s\n",
                 QStringLiteral("Service \"%1\" failed to %2 with error: \"%3\"")
                     .arg(QLatin1String(UnitFile::DisplayName), QLatin1String(verb), error)
                     .toLocal8Bit()
                     .constData());
    return 1;
}

QString unitPath(const QString &folder)
{
    return QDir(folder).filePath(QLatin1String(UnitFile::FileName));
}

// The tracking folder settings.txt names, or the default the loader writes at its first start.
QString trackingFolderOf(const QString &programFolder)
{
    LoaderSettings settings;
    settings.trackingDir = QString::fromLatin1(DefaultTrackingDir);
    try {
        applyLoaderSettingsLines(
            settings, readSettingsLines(QDir(programFolder).filePath(QLatin1String(SettingsFileName))),
            [](int, const QString &) {});
    } catch (const std::exception &) {
        // No file yet: the loader writes the default one when it first starts.
    }
    return settings.trackingDir;
}

// The package's program folder, also when a packaged tree is unpacked elsewhere.
bool isPackageFolder(const QString &folder)
{
    const QString path = QDir::cleanPath(folder);
    return path == QLatin1String(UnitFile::PackageProgramFolder) ||
           path.endsWith(QLatin1String(UnitFile::PackageProgramFolder));
}

// A folder install: the service runs as the folder's owner, or the account /USER names, and writes
// its database and log in the folder.
UnitFile::Settings folderInstall(const QString &programPath, const QString &user)
{
    const QFileInfo program(programPath);
    const QFileInfo folder(program.absolutePath());
    if (isPackageFolder(folder.absoluteFilePath()))
        throw std::runtime_error(QStringLiteral("%1 belongs to the package, which installs the unit itself: "
                                                "use \"systemctl enable --now %2\"")
                                     .arg(program.absoluteFilePath(), QLatin1String(UnitFile::FileName))
                                     .toStdString());
    QString account = user;
    if (account.isEmpty()) {
        if (folder.ownerId() == 0)
            throw std::runtime_error(QStringLiteral("%1 belongs to root, and the service would run as root: "
                                                    "give the folder to the service's account, or name it "
                                                    "with /USER NAME")
                                         .arg(folder.absoluteFilePath())
                                         .toStdString());
        account = folder.owner().isEmpty() ? QString::number(folder.ownerId()) : folder.owner();
    }
    return {program.absoluteFilePath(),  account, trackingFolderOf(folder.absoluteFilePath()),
            {folder.absoluteFilePath()}, {},      {}};
}

} // namespace

int installService(const QString &programPath, const QString &user, bool silent)
{
    const QString folder = UnitFile::folder();
    try {
        UnitFile::write(unitPath(folder), folderInstall(programPath, user));
        systemctl(folder, {QStringLiteral("daemon-reload")});
        systemctl(folder, {QStringLiteral("enable"), QLatin1String(UnitFile::FileName)});
    } catch (const std::exception &error) {
        return report(false, silent, nullptr, "install", QString::fromUtf8(error.what()));
    }
    return report(true, silent, "Service installed successfully", "install", {});
}

int uninstallService(bool silent)
{
    const QString folder = UnitFile::folder();
    try {
        if (!QFileInfo::exists(unitPath(folder)))
            throw std::runtime_error(QStringLiteral("The service is not installed: %1 does not exist")
                                         .arg(unitPath(folder))
                                         .toStdString());
        systemctl(folder, {QStringLiteral("disable"), QLatin1String(UnitFile::FileName)});
        UnitFile::remove(unitPath(folder));
        systemctl(folder, {QStringLiteral("daemon-reload")});
    } catch (const std::exception &error) {
        return report(false, silent, nullptr, "uninstall", QString::fromUtf8(error.what()));
    }
    return report(true, silent, "Service uninstalled successfully", "uninstall", {});
}
