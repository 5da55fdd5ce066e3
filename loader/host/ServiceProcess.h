#pragma once

#include <QString>
#include <QStringList>

class ServiceControl;
class SignalHost;

// One run of the loader's service object: created, started, executed and destroyed on one thread,
// the thread its database session is confined to. Returns the process exit status: 0 after a stop, the
// settings error's code, or 1 after an error that ended start-up or a turn.
class ServiceProcess
{
public:
    // Shortens the one-second turn, and every other wait of the loader in proportion. For the
    // end-to-end tests only; the service never sets it.
    static constexpr const char *TurnVariable = "OVTRACK_TURN_MS";

    ServiceProcess(QString appDir, QStringList startParameters);

    // The service in the foreground: the worker runs it, the host answers signals.
    int runService(SignalHost &host);
    // The ONCE switch: start-up and one periodic work on the calling thread.
    int runOnce();

private:
    int execute(ServiceControl &control, SignalHost *host);

    QString m_appDir;
    QStringList m_startParameters;
};
