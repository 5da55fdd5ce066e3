#include "loader/host/Switches.h"

namespace {

bool isSwitch(const QString &argument, QLatin1String name)
{
    if (argument.size() < 2 || (argument.front() != u'/' && argument.front() != u'-'))
        return false;
    return argument.mid(1).compare(name, Qt::CaseInsensitive) == 0;
}

} // namespace

Switches parseSwitches(const QStringList &arguments)
{
    Switches switches;
    for (const QString &argument : arguments) {
        switches.install |= isSwitch(argument, QLatin1String("install"));
        switches.uninstall |= isSwitch(argument, QLatin1String("uninstall"));
        switches.silent |= isSwitch(argument, QLatin1String("silent"));
        switches.once |= isSwitch(argument, QLatin1String("once"));
        switches.prune |= isSwitch(argument, QLatin1String("prune"));
        switches.dryRun |= isSwitch(argument, QLatin1String("dryrun"));
    }
    return switches;
}

QString switchesHelp()
{
    return QStringLiteral(
        "Usage: OVTrackSvc [/logging N] [start parameters]\n"
        "       OVTrackSvc /INSTALL [/SILENT] | /UNINSTALL [/SILENT] | /ONCE | /PRUNE [/DRYRUN]\n"
        "       OVTrackSvc --help | --version\n"
        "Imports the tracking files of the tracking folder named in settings.txt into the\n"
        "tracking database, every ten seconds, and logs to importtrack.log in its own folder.\n"
        "Without a switch it runs as the service svcOVTrack in the foreground: SIGTERM stops it,\n"
        "SIGUSR1 pauses it, SIGUSR2 or SIGHUP continues it.\n"
        "  /INSTALL    write and enable the systemd unit svcOVTrack.service\n"
        "  /UNINSTALL  disable and remove the unit\n"
        "  /SILENT     beside either, print nothing on success\n"
        "  /ONCE       run start-up and one import pass, then exit\n"
        "  /PRUNE      delete settled rows older than retaindays days now and print the counts;\n"
        "              with /DRYRUN print what would go and change nothing\n"
        "  /logging N  log level bits: 1 service, 2 errors, 4 notifications, 8 receipts\n"
        "Switches start with / or - in any case. See OVTrackSvc(8).");
}
