#include "tools/prepare-run/ProgramFolder.h"

#include "shared/config/DataLinkFile.h"
#include "shared/tracking/DbConnection.h"
#include "shared/tracking/DbStatement.h"
#include "shared/config/SettingsFile.h"

#include <QDir>
#include <QSaveFile>

#include <stdexcept>

namespace ProgramFolder {

QString sqliteInitString()
{
    return QStringLiteral("Provider=SQLite;Data Source=") + QLatin1String(DatabaseName);
}

namespace {

void writeSettings(const QString &path, const QString &trackingFolder)
{
    const QByteArray text = QStringLiteral("summarydestination=%1\r\n"
                                           "+trackingdbconnection=[default]\r\n"
                                           "qztrackstorehm=Yes\r\n"
                                           "shortdateformat=dd/MM/yyyy\r\n"
                                           "qztrackfileextns=.qzd;.csv\r\n")
                                .arg(withTrailingSeparator(trackingFolder))
                                .toUtf8();
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit())
        throw std::runtime_error(("cannot write " + path + ": " + file.errorString()).toStdString());
}

void createTracking(const QString &programFolder, const QString &initString)
{
    DbConnection connection(programFolder);
    connection.openCreating(initString);
    const SqlDialect &dialect = connection.dialect();
    DbStatement probe(connection, dialect.tableExistsSql(QStringLiteral("Tracking")));
    if (probe.open().rowCount() == 0)
        connection.execute(dialect.createTrackingSql());
    connection.close();
}

} // namespace

void prepare(const QString &programFolder, const QString &trackingFolder, const QString &initString)
{
    const QString database = initString.isEmpty() ? sqliteInitString() : initString;
    const QString folder = withTrailingSeparator(programFolder);
    if (!QDir().mkpath(folder) || !QDir().mkpath(trackingFolder))
        throw std::runtime_error(("cannot create " + folder + " or " + trackingFolder).toStdString());
    writeSettings(folder + QLatin1String(SettingsFileName), trackingFolder);
    writeDataLinkFile(folder + QLatin1String(DataLinkFileName), database);
    createTracking(folder, database);
}

} // namespace ProgramFolder
