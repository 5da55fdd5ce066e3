#include "loader/CreateDatabaseCommand.h"

#include "loader/FieldValues.h"
#include "loader/OVTrackSvcForm.h"

#include <QTextStream>

int runCreateDatabaseCommand(const QString &appDir, const QStringList &startParameters, QTextStream &out,
                             QTextStream &errors)
{
    TsvcOVTrack service(appDir, startParameters);
    int status = 0;
    try {
        service.InitialzeSettings(StartUp::CreateDatabase);
        if (!service.adoConn1.isOpen()) {
            errors << "No database connection: " << service.ConnectFailure << Qt::endl;
            status = 1;
        } else if (!service.TableExists(QStringLiteral("Tracking"))) {
            errors << "The Tracking table could not be created; see " << service.LogFileName() << Qt::endl;
            status = 1;
        } else {
            out << "The tracking database is ready: " << service.adoConn1.target().serverLabel << Qt::endl;
        }
    } catch (const SettingsUnreadable &unreadable) {
        errors << "The settings file could not be read; see " << service.LogFileName() << Qt::endl;
        status = unreadable.exitCode;
    } catch (const std::exception &error) {
        errors << errorText(error) << Qt::endl;
        status = 1;
    }
    service.ServiceDestroy();
    return status;
}
