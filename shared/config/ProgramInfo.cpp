#include "shared/config/ProgramInfo.h"

#include "Version.h"

#include <cstdio>

std::optional<int> answerHelpOrVersion(const QStringList &arguments, const QString &program,
                                       const QString &usage)
{
    QString text;
    if (arguments.contains(QLatin1String("--help")))
        text = usage;
    else if (arguments.contains(QLatin1String("--version")))
        text = program + u' ' + QLatin1String(ovtrack::FileVersion);
    else
        return std::nullopt;
    std::fputs(text.toLocal8Bit().constData(), stdout);
    std::fputc('\n', stdout);
    return 0;
}
