#include "loader/LoaderLog.h"
#include "loader/OVTrackSvcForm.h"

#include "Version.h"

#include <QSettings>

#include <algorithm>
#include <cstdio>

namespace {

struct StartParameterLevel
{
    bool given = false;
    int level = 1;
    QString text; // the parameters as the log shows them
};

// The "/logging" switch of the start parameters (index 0 is the service name).
StartParameterLevel levelFromStartParameters(const QStringList &parameters)
{
    StartParameterLevel result;
    const auto isSwitch = [](const QString &p) {
        return p.compare(QLatin1String("/logging"), Qt::CaseInsensitive) == 0;
    };
    result.given = std::any_of(parameters.begin(), parameters.end(), isSwitch);
    if (!result.given)
        return result;
    for (qsizetype i = 1; i < parameters.size(); ++i) {
        result.text += parameters.at(i) + u' ';
        if (parameters.at(i).toLower() == QLatin1String("/logging") && i + 1 < parameters.size()) {
            bool ok = false;
            const int level = parameters.at(i + 1).toInt(&ok, 10);
            result.level = ok ? level : 0;
            result.text += parameters.at(i + 1);
            break;
        }
    }
    result.text = result.text.trimmed();
    return result;
}

// The level kept by the machine-wide settings; 1 when missing or not an integer.
int levelFromRegistry()
{
    const QSettings registry(QSettings::SystemScope, QStringLiteral("Tavisk"), QStringLiteral("OVTracking"));
    const QVariant value = registry.value(QStringLiteral("LoggingLevel"));
    if (!value.isValid())
        return 1;
    bool ok = false;
    const int level = value.toString().trimmed().toInt(&ok, 10);
    return ok ? level : 1;
}

QString trueFalse(bool value)
{
    return value ? QStringLiteral("True") : QStringLiteral("False");
}

} // namespace

bool TsvcOVTrack::logs(int level) const
{
    return level == -1 || (LoggingEnabled && (LoggingLevel & level) > 0);
}

void TsvcOVTrack::WriteLog(int level, const QString &text)
{
    if (logs(level))
        m_log->writeLine(level, text);
}

void TsvcOVTrack::ReadLoggingSettings()
{
    LoggingEnabled = false;
    LoggingLevel = 1;
    QString commandLine;
    try {
        const StartParameterLevel fromParameters = levelFromStartParameters(m_startParameters);
        if (fromParameters.given) {
            LoggingLevel = fromParameters.level;
            commandLine = fromParameters.text;
        } else {
            LoggingLevel = levelFromRegistry();
        }
    } catch (...) {
        LoggingLevel = 1;
    }
    LoggingEnabled = LoggingLevel > 0;
    WriteLog(-1, QStringLiteral("Logging is: ") + trueFalse(LoggingEnabled));
    WriteLog(-1, QStringLiteral("LoggingLevel is: ") + QString::number(LoggingLevel));
    WriteLog(-1, QStringLiteral("Service (App.) File Version: ") + QLatin1String(ovtrack::FileVersion));
    WriteLog(-1, QStringLiteral("Command Line String: ") + commandLine);
}

void TsvcOVTrack::OpenLog()
{
    if (!m_log->open()) {
        LoggingEnabled = false;
        // Standard error is the journal under systemd: the one place left to say why nothing is logged.
        std::fprintf(stderr, "%s\n",
                     qPrintable(QStringLiteral("Cannot open the log file %1: %2; nothing will be logged.")
                                    .arg(LogFileName(), m_log->errorString())));
        return;
    }
    ReadLoggingSettings();
    WriteLog(1, QStringLiteral("InitialzeSettings: Logging started."));
    WriteLog(1, QStringLiteral("InitialzeSettings: Log file = ") + LogFileName());
}

void TsvcOVTrack::ReopenLog()
{
    m_log->reopen();
}

void TsvcOVTrack::CloseLog()
{
    m_log->close();
}

QString TsvcOVTrack::LogFileName() const
{
    return m_log->fileName();
}
