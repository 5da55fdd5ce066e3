#pragma once

#include <QString>
#include <QStringList>

// The systemd unit that registers the loader as the service svcOVTrack.
namespace UnitFile {

inline constexpr const char *ServiceName = "svcOVTrack";
inline constexpr const char *DisplayName = "OVTrack Tracking Service";
inline constexpr const char *FileName = "svcOVTrack.service";
// Names another unit folder than the system's, for tests and staging.
inline constexpr const char *FolderVariable = "OVTRACK_UNIT_DIR";
inline constexpr const char *SystemFolder = "/etc/systemd/system";
// Where the Debian package puts the programs; its unit comes with the package.
inline constexpr const char *PackageProgramFolder = "/usr/lib/ovtrack";

// The folder the unit goes to: the variable's value when set, else the system's.
QString folder();
bool isSystemFolder(const QString &folder);

// How often the loop must show it is alive before systemd takes it for hung and restarts it: far
// above one turn, a ten-second back-off turn and a long import pass.
inline constexpr int WatchdogSeconds = 300;

// What differs between installations: a folder install runs as the folder's owner and writes in
// its folder; the package runs as the system user and writes under /var.
struct Settings
{
    QString programPath;
    QString user;
    // The only folders the service may write to; the tracking folder may not exist yet.
    QString trackingFolder;
    QStringList writableFolders;
    // The package's: folders under /var/lib and /var/log that systemd creates for the service when
    // they are missing (empty for a folder install).
    QString stateDirectory;
    QString logsDirectory;
};

// The unit's text; paths are quoted and escaped as systemd reads them.
QString text(const Settings &settings);

// Both throw std::runtime_error with the reason.
void write(const QString &path, const Settings &settings);
void remove(const QString &path);

} // namespace UnitFile
