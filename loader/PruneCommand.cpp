#include "loader/PruneCommand.h"

#include "loader/FieldValues.h"
#include "loader/OVTrackSvcForm.h"
#include "loader/TrackingRetention.h"
#include "shared/config/ConnectionString.h"
#include "shared/text/WallClock.h"

#include <QTextStream>

#include <thread>

int runPruneCommand(const QString &appDir, const QStringList &startParameters, bool dryRun, QTextStream &out,
                    QTextStream &errors)
{
    TsvcOVTrack service(appDir, startParameters);
    QString startFailure;
    try {
        // A dry run reads and counts: no log, no default settings, no table, column or index.
        service.InitialzeSettings(dryRun ? StartUp::CountOnly : StartUp::Service);
    } catch (const SettingsUnreadable &unreadable) {
        errors << "The settings file could not be read; see the log." << Qt::endl;
        return unreadable.exitCode;
    } catch (const std::exception &e) {
        // Without a connection the first schema check fails: said below as the missing connection.
        startFailure = errorText(e);
    }
    int status = 0;
    if (service.RetainDays <= 0) {
        out << "retaindays is not set in settings.txt: every row is kept." << Qt::endl;
    } else if (!service.adoConn1.isOpen()) {
        errors << "No database connection: " << maskedConnectionString(service.ConnectionString) << Qt::endl;
        status = 1;
    } else if (!startFailure.isEmpty()) {
        errors << "Retention failed: " << startFailure << Qt::endl;
        status = 1;
    } else {
        try {
            TrackingRetention retention(service.adoConn1, service.RetainDays, WallClock::now());
            if (dryRun) {
                out << retention.summary(true, retention.preview()) << Qt::endl;
            } else {
                if (const QString withoutIndex = retention.ensureContentIndex(); !withoutIndex.isEmpty()) {
                    service.WriteLog(2, withoutIndex);
                    errors << withoutIndex << Qt::endl;
                }
                // Short transactions: the running service's import waits for one batch at most.
                retention.setBatchTimeTarget(std::chrono::milliseconds(50));
                // As long again as each batch took: a running service's import gets its turn.
                retention.runToEnd(
                    [](std::chrono::milliseconds batchTime) { std::this_thread::sleep_for(batchTime); });
                const QString summary = retention.summary(false, retention.deleted());
                service.WriteLog(1, summary);
                out << summary << Qt::endl;
            }
        } catch (const std::exception &e) {
            const QString text = QStringLiteral("Retention failed: ") + errorText(e);
            service.WriteLog(2, text);
            errors << text << Qt::endl;
            status = 1;
        }
    }
    service.ServiceDestroy();
    if (dryRun)
        out << "Dry run: nothing was created, altered or written." << Qt::endl;
    return status;
}
