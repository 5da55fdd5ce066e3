#include "viewer/app/ViewerRunValues.h"

#include "shared/config/DataLinkFile.h"
#include "shared/config/SettingsFile.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <iterator>
#include <stdexcept>
#include <utility>

ViewerRunValues ViewerRunValues::read(const QString &appPath, const QStringList &positionalArguments,
                                      const QString &tmp, const QString &temp, const QString &tmpdir)
{
    ViewerRunValues values;
    values.AppPath = withTrailingSeparator(appPath);
    // Never the program folder: an installed one is not the user's to write, and content files of
    // patients do not belong next to the program.
    if (!tmp.isEmpty())
        values.TempPath = withTrailingSeparator(tmp);
    else if (!temp.isEmpty())
        values.TempPath = withTrailingSeparator(temp);
    else if (!tmpdir.isEmpty())
        values.TempPath = withTrailingSeparator(tmpdir);
    else
        values.TempPath = QStringLiteral("/tmp/");

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
    return read(appPath, positionalArguments, qEnvironmentVariable("TMP"), qEnvironmentVariable("TEMP"),
                qEnvironmentVariable("TMPDIR"));
}

ViewerCommandLine ViewerCommandLine::parse(const QStringList &arguments)
{
    ViewerCommandLine line;
    const std::pair<const char *, QString ViewerCommandLine::*> outputs[] = {
        {"--export-csv", &ViewerCommandLine::exportCsvPath},
        {"--report-pdf", &ViewerCommandLine::reportPdfPath},
        {"--summary-pdf", &ViewerCommandLine::summaryPdfPath},
    };
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        const auto output = std::find_if(std::begin(outputs), std::end(outputs), [&](const auto &entry) {
            return argument == QLatin1String(entry.first);
        });
        if (output != std::end(outputs)) {
            if (i + 1 >= arguments.size() || arguments.at(i + 1).isEmpty()) {
                line.error = argument + QStringLiteral(" needs the path of the file to write");
                return line;
            }
            if (line.isHeadless()) {
                line.error =
                    line.createBlank
                        ? QStringLiteral("--create-blank runs alone")
                        : QStringLiteral("Give only one of --export-csv, --report-pdf and --summary-pdf");
                return line;
            }
            line.*(output->second) = arguments.at(++i);
        } else if (argument == QLatin1String("--create-blank")) {
            if (line.isHeadless()) {
                line.error = QStringLiteral("--create-blank runs alone");
                return line;
            }
            line.createBlank = true;
        } else if (argument.startsWith(QLatin1String("--"))) {
            line.error = QStringLiteral("Unknown option %1").arg(argument);
            return line;
        } else {
            line.positional << argument;
        }
    }
    return line;
}
