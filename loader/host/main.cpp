#include "loader/CreateDatabaseCommand.h"
#include "loader/PruneCommand.h"
#include "loader/host/ServiceProcess.h"
#include "loader/host/ServiceRegistration.h"
#include "loader/host/SignalHost.h"
#include "loader/host/Switches.h"
#include "loader/host/SystemdNotices.h"
#include "loader/host/UnitFile.h"
#include "shared/config/ProgramInfo.h"

#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>
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
    if (!switches.unknown.isEmpty()) {
        std::fprintf(stderr, "OVTrackSvc: unknown switch %s\n%s\n", qPrintable(switches.unknown),
                     qPrintable(switchesHelp()));
        return 2;
    }
    const bool runsService =
        !switches.install && !switches.uninstall && !switches.once && !switches.prune && !switches.createDb;

    // Before any thread exists, so that only the host receives the control signals.
    SystemdNotices notices;
    std::optional<SignalHost> host;
    if (runsService)
        host.emplace(notices);

    const QCoreApplication app(argc, argv);
    if (switches.install)
        return installService(QCoreApplication::applicationFilePath(), switches.user, switches.silent);
    if (switches.uninstall)
        return uninstallService(switches.silent);
    const QStringList startParameters = QStringList{QLatin1String(UnitFile::ServiceName)} + arguments;
    if (switches.prune || switches.createDb) {
        QTextStream out(stdout);
        QTextStream errors(stderr);
        if (switches.createDb)
            return runCreateDatabaseCommand(QCoreApplication::applicationDirPath(), startParameters, out,
                                            errors);
        return runPruneCommand(QCoreApplication::applicationDirPath(), startParameters, switches.dryRun, out,
                               errors);
    }

    ServiceProcess process(QCoreApplication::applicationDirPath(), startParameters);
    return runsService ? process.runService(*host) : process.runOnce();
}
