#pragma once

#include <QString>

// The systemd unit that registers the loader as the service svcOVTrack.
namespace UnitFile {

inline constexpr const char *ServiceName = "svcOVTrack";
inline constexpr const char *DisplayName = "OVTrack Tracking Service";
inline constexpr const char *FileName = "svcOVTrack.service";
// Names another unit folder than the system's, for tests and staging.
inline constexpr const char *FolderVariable = "OVTRACK_UNIT_DIR";
inline constexpr const char *SystemFolder = "/etc/systemd/system";

// The folder the unit goes to: the variable's value when set, else the system's.
QString folder();
bool isSystemFolder(const QString &folder);

// The unit's text; the program path is quoted and escaped as systemd reads it.
QString text(const QString &programPath);

// Both throw std::runtime_error with the reason.
void write(const QString &path, const QString &programPath);
void remove(const QString &path);

} // namespace UnitFile
