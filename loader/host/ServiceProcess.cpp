#include "loader/host/ServiceProcess.h"

#include "loader/OVTrackSvcForm.h"
#include "loader/ServiceControl.h"
#include "loader/host/ServiceFailure.h"
#include "loader/host/SignalHost.h"

#include <cstdio>

namespace {

// The control of a single pass: nobody can send a request.
class NoRequests final : public ServiceControl
{
public:
    void handleRequests() override {}
    bool stopRequested() const override { return false; }
};

void applyTurnLength(TsvcOVTrack &service)
{
    bool ok = false;
    const int turn = qEnvironmentVariableIntValue(ServiceProcess::TurnVariable, &ok);
    if (!ok || turn <= 0 || turn == 1000)
        return;
    service.Sleep = [wait = service.Sleep, turn](int milliseconds) {
        wait(static_cast<int>(static_cast<qint64>(milliseconds) * turn / 1000));
    };
}

} // namespace

ServiceProcess::ServiceProcess(QString appDir, QStringList startParameters)
    : m_appDir(std::move(appDir)), m_startParameters(std::move(startParameters))
{}

int ServiceProcess::runService(SignalHost &host)
{
    int status = 0;
    try {
        host.run([&](ServiceControl &control) { status = execute(control, &host); });
    } catch (const std::exception &error) {
        reportServiceFailure(QStringLiteral("execute"), QString::fromUtf8(error.what()));
        return 1;
    }
    return status;
}

int ServiceProcess::runOnce()
{
    NoRequests control;
    return execute(control, nullptr);
}

int ServiceProcess::execute(ServiceControl &control, SignalHost *host)
{
    try {
        TsvcOVTrack service(m_appDir, m_startParameters);
        applyTurnLength(service);
        service.ServiceCreate();
        if (host)
            host->setEvents({[&] { service.ServicePause(); }, [&] { service.ServiceContinue(); },
                             [&] { service.ServiceStop(); }});
        int status = 0;
        try {
            service.ServiceStart();
            if (host) {
                service.ServiceExecute(control);
            } else {
                service.ServiceExecuteOnce(control);
                // A cron job or a set-up script must see that the pass did not reach the database.
                if (service.UnwrittenFiles > 0) {
                    std::fprintf(stderr, "%s\n",
                                 qPrintable(QStringLiteral("%1 tracking files could not be written to the "
                                                           "database completely; see %2")
                                                .arg(service.UnwrittenFiles)
                                                .arg(service.LogFileName())));
                    status = 1;
                }
            }
        } catch (const SettingsUnreadable &unreadable) {
            status = unreadable.exitCode; // its line is in the log, which is closed
        } catch (const std::exception &error) {
            reportServiceFailure(QStringLiteral("execute"), QString::fromUtf8(error.what()));
            status = 1;
        }
        if (host)
            host->setEvents({});
        service.ServiceDestroy();
        return status;
    } catch (const std::exception &error) {
        reportServiceFailure(QStringLiteral("execute"), QString::fromUtf8(error.what()));
    } catch (...) {
        reportServiceFailure(QStringLiteral("execute"), QStringLiteral("unknown error"));
    }
    return 1;
}
