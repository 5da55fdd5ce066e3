#include "loader/host/Switches.h"

#include <utility>

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
    const std::pair<const char *, bool *> flags[] = {
        {"install", &switches.install},  {"uninstall", &switches.uninstall}, {"silent", &switches.silent},
        {"once", &switches.once},        {"prune", &switches.prune},         {"dryrun", &switches.dryRun},
        {"createdb", &switches.createDb}};
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        bool known = false;
        for (const auto &[name, flag] : flags) {
            if (isSwitch(argument, QLatin1String(name)))
                *flag = known = true;
        }
        // The two switches that take a value; the value is no switch even when it starts with "-".
        if (isSwitch(argument, QLatin1String("logging")) || isSwitch(argument, QLatin1String("user"))) {
            known = true;
            if (i + 1 < arguments.size()) {
                if (isSwitch(argument, QLatin1String("user")))
                    switches.user = arguments.at(i + 1);
                ++i;
            }
        }
        if (!known && switches.unknown.isEmpty() && argument.size() > 1 &&
            (argument.front() == u'/' || argument.front() == u'-'))
            switches.unknown = argument;
    }
    return switches;
}

QString switchesHelp()
{
    return QStringLiteral(
        "Usage: OVTrackSvc [/logging N] [start parameters]\n"
        "       OVTrackSvc /INSTALL [/USER NAME] [/SILENT] | /UNINSTALL [/SILENT]\n"
        "       OVTrackSvc /ONCE | /PRUNE [/DRYRUN] | /CREATEDB\n"
        "       OVTrackSvc --help | --version\n"
        "Imports the tracking files of the tracking folder named in settings.txt into the\n"
        "tracking database, every ten seconds, and logs to importtrack.log in its own folder.\n"
        "Without a switch it runs as the service svcOVTrack in the foreground: SIGTERM stops it,\n"
        "SIGUSR1 pauses it, SIGUSR2 or SIGHUP continues it.\n"
        "  /INSTALL    write and enable the systemd unit svcOVTrack.service for a folder install;\n"
        "              /USER NAME runs it as that account (needed when the folder belongs to root)\n"
        "  /UNINSTALL  disable and remove the unit\n"
        "  /SILENT     beside either, print nothing on success\n"
        "  /ONCE       run start-up and one import pass, then exit (1 when a line could not be\n"
        "              written)\n"
        "  /CREATEDB   create the configured database and its tables, then exit; run it as the\n"
        "              service's user (sudo -u ovtrack OVTrackSvc /CREATEDB)\n"
        "  /PRUNE      delete settled rows older than retaindays days now and print the counts;\n"
        "              with /DRYRUN only count: nothing is created, altered or written\n"
        "  /logging N  log level bits: 1 service, 2 errors, 4 notifications, 8 receipts\n"
        "Switches start with / or - in any case. See OVTrackSvc(8).");
}
