#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>

// settings.txt: key=value lines next to each program. The loader and the viewer read it with
// parsers of their own; only the loader writes the default file.

inline constexpr const char *SettingsFileName = "settings.txt";
inline constexpr const char *DefaultTrackingDir = "/var/lib/orvane/tracking/";

// Folder values always end with the path separator.
QString withTrailingSeparator(const QString &folder);

// The lines of a settings file (CR LF, CR or LF end a line). Throws std::runtime_error with the
// file system's message when the file cannot be read.
QStringList readSettingsLines(const QString &path);

// The thirteen lines of the default file, CR LF ended.
QByteArray defaultSettingsBytes(const QString &shortDateFormat);
// Throws std::runtime_error with the file system's message when the file cannot be written.
void WriteDefaultSettings(const QString &path, const QString &shortDateFormat);

// Milliseconds the loader pauses after each imported tracking file unless the settings say otherwise.
inline constexpr int DefaultFilePause = 100;

struct LoaderSettings
{
    QString trackingDir;
    QString connectionString;
    bool storeHM = false;
    QString shortDateFormat;
    QStringList trackFileExtensions{QStringLiteral(".qzd"), QStringLiteral(".csv")};
    int retainDays = 0; // 0: tracking rows are kept for ever
    int filePause = DefaultFilePause;
};

// Applies the lines in order over the values already in `settings`; a line that cannot be applied
// is reported with its 1-based number and the error, and the others still apply.
void applyLoaderSettingsLines(LoaderSettings &settings, const QStringList &lines,
                              const std::function<void(int lineNumber, const QString &error)> &onLineError);

// A bare path of a data-link file becomes a "File name=" reference; anything else is kept.
QString completeConnectionString(const QString &connectionString);

struct ViewerSettings
{
    QString userPath;   // empty when the file names none
    QString importPath; // empty when the file names none
};

ViewerSettings parseViewerSettings(const QStringList &lines);
