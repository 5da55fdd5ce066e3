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
