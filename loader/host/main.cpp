#include "loader/PruneCommand.h"
#include "loader/host/ServiceProcess.h"
#include "loader/host/ServiceRegistration.h"
#include "loader/host/SignalHost.h"
#include "loader/host/Switches.h"
#include "loader/host/UnitFile.h"

#include <QCoreApplication>
#include <QTextStream>

#include <optional>

int main(int argc, char **argv)
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const Switches switches = parseSwitches(arguments);
    const bool runsService = !switches.install && !switches.uninstall && !switches.once && !switches.prune;

    // Before any thread exists, so that only the host receives the control signals.
    std::optional<SignalHost> host;
    if (runsService)
        host.emplace();

    const QCoreApplication app(argc, argv);
    if (switches.install)
        return installService(QCoreApplication::applicationFilePath(), switches.silent);
    if (switches.uninstall)
        return uninstallService(switches.silent);
    if (switches.prune) {
        QTextStream out(stdout);
        QTextStream errors(stderr);
        return runPruneCommand(QCoreApplication::applicationDirPath(),
                               QStringList{QLatin1String(UnitFile::ServiceName)} + arguments, switches.dryRun,
                               out, errors);
    }

    ServiceProcess process(QCoreApplication::applicationDirPath(),
                           QStringList{QLatin1String(UnitFile::ServiceName)} + arguments);
    return runsService ? process.runService(*host) : process.runOnce();
}
