#include "loader/host/UnitFile.h"
#include "shared/config/DataLinkFile.h"
#include "shared/config/SettingsFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#include <cstdio>
#include <stdexcept>

// ovtrack-package-files OUTPUT PROGRAM_FOLDER STATE_FOLDER LOG_FOLDER USER
// The packaged unit comes from the same code as the one "OVTrackSvc /INSTALL" writes; the
// configuration is the loader's own default file with the database moved to the state folder.
namespace {

void save(const QString &path, const QByteArray &bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        throw std::runtime_error(
            QStringLiteral("Cannot write %1: %2").arg(path, file.errorString()).toStdString());
}

// The loader's default file, its notes written for a systemd service instead of a service's
// property page.
QByteArray packagedSettingsBytes()
{
    QByteArray bytes = defaultSettingsBytes(QStringLiteral("dd/MM/yyyy"));
    const QByteArray note = "+++ Note: To Add Logging, in the Service Properties use the switch \r\n"
                            "+++ /logging <loggingLevel> \r\n";
    const qsizetype at = bytes.indexOf(note);
    if (at < 0)
        throw std::runtime_error("the default settings file has no logging note to replace");
    bytes.replace(
        at, note.size(),
        "+++ Note: shortdateformat is the order of day, month and year in the tracking files'\r\n"
        "+++ dates. Without it the service reads them in the order of the system's locale,\r\n"
        "+++ which systemd gives it; the log's start-up line \"Tracking dates are read as\"\r\n"
        "+++ shows the order in force.\r\n"
        "+++ Note: the service svcOVTrack runs under systemd. To add logging, give it the\r\n"
        "+++ switch /logging <loggingLevel>: sudo systemctl edit svcOVTrack, and under\r\n"
        "+++ [Service] write \"ExecStart=\" and \"ExecStart=/usr/lib/ovtrack/OVTrackSvc /logging 3\";\r\n"
        "+++ or set LoggingLevel in /etc/xdg/Tavisk/OVTracking.conf, which\r\n"
        "+++ \"systemctl reload svcOVTrack\" re-reads. Changes to this file need a restart.\r\n");
    return bytes;
}

} // namespace

int main(int argc, char **argv)
{
    const QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 6) {
        std::fprintf(stderr,
                     "usage: ovtrack-package-files OUTPUT PROGRAM_FOLDER STATE_FOLDER LOG_FOLDER USER\n");
        return 2;
    }
    const QDir output(args.at(1));
    const QString programFolder = args.at(2);
    const QString stateFolder = args.at(3);
    try {
        if (!output.mkpath(QStringLiteral(".")))
            throw std::runtime_error("Cannot create " + args.at(1).toStdString());
        const UnitFile::Settings unit{QDir(programFolder).filePath(QStringLiteral("OVTrackSvc")),
                                      args.at(5),
                                      QString::fromLatin1(DefaultTrackingDir),
                                      {stateFolder, args.at(4)},
                                      QFileInfo(stateFolder).fileName(),
                                      QFileInfo(args.at(4)).fileName()};
        save(output.filePath(QLatin1String(UnitFile::FileName)), UnitFile::text(unit).toUtf8());
        save(output.filePath(QLatin1String(SettingsFileName)), packagedSettingsBytes());
        save(output.filePath(QLatin1String(DataLinkFileName)),
             dataLinkFileBytes(QStringLiteral("Provider=SQLite;Data Source=") +
                               QDir(stateFolder).filePath(QStringLiteral("tracking.db"))));
    } catch (const std::exception &error) {
        std::fprintf(stderr, "ovtrack-package-files: %s\n", error.what());
        return 1;
    }
    return 0;
}
