#include "viewer/ViewerRunValues.h"

#include "shared/DataLinkFile.h"
#include "shared/SettingsFile.h"

#include <QDir>
#include <QFileInfo>

#include <stdexcept>

ViewerRunValues ViewerRunValues::read(const QString &appPath, const QStringList &positionalArguments,
                                      const QString &tmp, const QString &temp)
{
    ViewerRunValues values;
    values.AppPath = withTrailingSeparator(appPath);
    if (!tmp.isEmpty())
        values.TempPath = withTrailingSeparator(tmp);
    else if (!temp.isEmpty())
        values.TempPath = withTrailingSeparator(temp);
    else
        values.TempPath = values.AppPath;

    const QString dataLink = values.AppPath + QLatin1String(DataLinkFileName);
    if (QFileInfo::exists(dataLink))
        values.DbConnectionString = QStringLiteral("File name=") + dataLink;

    const QString settingsPath = values.AppPath + QLatin1String(SettingsFileName);
    if (QFileInfo::exists(settingsPath)) {
        try {
            const ViewerSettings settings = parseViewerSettings(readSettingsLines(settingsPath));
            if (!settings.userPath.isEmpty())
                values.UserPath = settings.userPath;
            if (!settings.importPath.isEmpty())
                values.ImportPath = settings.importPath;
        } catch (const std::runtime_error &) {
            // An unreadable settings file is ignored.
        }
    }

    const auto argument = [&](int i) {
        return i < positionalArguments.size() ? positionalArguments.at(i) : QString();
    };
    if (!argument(0).isEmpty())
        values.UserPath = withTrailingSeparator(argument(0));
    if (!argument(1).isEmpty())
        values.ImportPath = withTrailingSeparator(argument(1));
    if (!argument(2).isEmpty())
        values.DbConnectionString = argument(2);
    return values;
}

ViewerRunValues ViewerRunValues::fromEnvironment(const QString &appPath,
                                                 const QStringList &positionalArguments)
{
    return read(appPath, positionalArguments, qEnvironmentVariable("TMP"), qEnvironmentVariable("TEMP"));
}

ViewerCommandLine ViewerCommandLine::parse(const QStringList &arguments)
{
    ViewerCommandLine line;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if (argument == QLatin1String("--export-csv")) {
            if (i + 1 >= arguments.size() || arguments.at(i + 1).isEmpty()) {
                line.error = QStringLiteral("--export-csv needs the path of the file to write");
                return line;
            }
            line.exportCsvPath = arguments.at(++i);
        } else if (argument.startsWith(QLatin1String("--"))) {
            line.error = QStringLiteral("Unknown option %1").arg(argument);
            return line;
        } else {
            line.positional << argument;
        }
    }
    return line;
}
