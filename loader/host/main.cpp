#include "loader/PruneCommand.h"
#include "loader/host/ServiceProcess.h"
#include "loader/host/ServiceRegistration.h"
#include "loader/host/SignalHost.h"
#include "loader/host/Switches.h"
#include "loader/host/SystemdNotices.h"
#include "loader/host/UnitFile.h"
#include "shared/ProgramInfo.h"

#include <QCoreApplication>
#include <QTextStream>

#include <optional>

int main(int argc, char **argv)
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    if (const std::optional<int> answered =
            answerHelpOrVersion(arguments, QStringLiteral("OVTrackSvc"), switchesHelp()))
        return *answered;
    const Switches switches = parseSwitches(arguments);
    const bool runsService = !switches.install && !switches.uninstall && !switches.once && !switches.prune;

    // Before any thread exists, so that only the host receives the control signals.
    SystemdNotices notices;
    std::optional<SignalHost> host;
    if (runsService)
        host.emplace(notices);

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
