#include "loader/host/UnitFile.h"
#include "shared/DataLinkFile.h"
#include "shared/SettingsFile.h"

#include <QCoreApplication>
#include <QDir>
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
                                      {stateFolder, args.at(4)}};
        save(output.filePath(QLatin1String(UnitFile::FileName)), UnitFile::text(unit).toUtf8());
        save(output.filePath(QLatin1String(SettingsFileName)),
             defaultSettingsBytes(QStringLiteral("dd/MM/yyyy")));
        save(output.filePath(QLatin1String(DataLinkFileName)),
             dataLinkFileBytes(QStringLiteral("Provider=SQLite;Data Source=") +
                               QDir(stateFolder).filePath(QStringLiteral("tracking.db"))));
    } catch (const std::exception &error) {
        std::fprintf(stderr, "ovtrack-package-files: %s\n", error.what());
        return 1;
    }
    return 0;
}
