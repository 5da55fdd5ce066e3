#include "viewer/app/MaintenanceCommands.h"

#include "shared/tracking/DbConnection.h"
#include "viewer/app/UndeliveredCheck.h"
#include "viewer/app/ViewerRunValues.h"
#include "viewer/audit/AuditCsv.h"

#include "Version.h"

#include <QDate>
#include <QMap>
#include <QSaveFile>
#include <QTextStream>

#include <csignal>
#include <stdexcept>

#include <unistd.h>

namespace {

// The audit export's exit status for a command line it cannot use (a bad option or date, a period
// that ends before it starts); 1 stays for a run that failed.
constexpr int UnusableCommandLine = 3;

const QString CheckSwitch = QStringLiteral("--check-undelivered");
const QString AuditSwitch = QStringLiteral("--audit-csv");
const QStringList ValueOptions = {QStringLiteral("-w"),
                                  QStringLiteral("-c"),
                                  QStringLiteral("-t"),
                                  QStringLiteral("--age"),
                                  QStringLiteral("--critical-age"),
                                  QStringLiteral("--from"),
                                  QStringLiteral("--to"),
                                  AuditSwitch};

struct MaintenanceLine
{
    QStringList positional;
    QMap<QString, QString> values;
    bool check = false;
    bool checkVersion = false; // -V
    bool checkHelp = false;    // -h
};

// Seconds before the check gives up, as monitoring plugins do, when -t does not say.
constexpr int DefaultCheckTimeout = 30;

QString checkUsage()
{
    return QStringLiteral(
        "Usage: check_ovtrack [-w COUNT] [-c COUNT] [--age DAYS] [--critical-age DAYS] [-t SECONDS] [-V] "
        "[-h]\n"
        "       (OVTrack --check-undelivered with the same options)\n"
        "Counts the messages undeliverable or waiting for longer than --age days (default 2).\n"
        "  -w COUNT            more than COUNT is WARNING (default 5)\n"
        "  -c COUNT            more than COUNT is CRITICAL (default 20); -w above -c is refused\n"
        "  --critical-age DAYS an oldest message older than DAYS is CRITICAL (default 7)\n"
        "  -t SECONDS          UNKNOWN after SECONDS (default 30)\n"
        "  -V                  print the version\n"
        "  -h                  print this help\n"
        "Exit status: 0 OK, 1 WARNING, 2 CRITICAL, 3 UNKNOWN. Its user needs the group ovtrack.");
}

// Ends the process with UNKNOWN when the check outlives its time: a database that does not answer
// must not hold the monitoring system's slot. Only async-signal-safe calls.
void checkTimedOut(int)
{
    static const char line[] = "OVTRACK UNKNOWN - the check timed out\n";
    [[maybe_unused]] const ssize_t written = ::write(STDOUT_FILENO, line, sizeof line - 1);
    ::_exit(int(CheckState::Unknown));
}

// Throws std::invalid_argument naming the faulty option.
MaintenanceLine parseLine(const QStringList &arguments)
{
    MaintenanceLine line;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if (argument == CheckSwitch) {
            line.check = true;
        } else if (argument == QLatin1String("-V")) {
            line.checkVersion = true;
        } else if (argument == QLatin1String("-h")) {
            line.checkHelp = true;
        } else if (ValueOptions.contains(argument)) {
            if (i + 1 >= arguments.size())
                throw std::invalid_argument((argument + QStringLiteral(" needs a value")).toStdString());
            line.values.insert(argument, arguments.at(++i));
        } else if (argument.startsWith(u'-')) {
            throw std::invalid_argument(QStringLiteral("Unknown option %1").arg(argument).toStdString());
        } else {
            line.positional << argument;
        }
    }
    if ((line.checkVersion || line.checkHelp) && !line.check)
        throw std::invalid_argument("-V and -h belong to --check-undelivered");
    if (line.check == line.values.contains(AuditSwitch))
        throw std::invalid_argument("Give one of --check-undelivered and --audit-csv");
    return line;
}

qint64 wholeNumber(const MaintenanceLine &line, const QString &option, qint64 fallback)
{
    if (!line.values.contains(option))
        return fallback;
    bool ok = false;
    const qint64 n = line.values.value(option).toLongLong(&ok);
    if (!ok || n < 0)
        throw std::invalid_argument((option + QStringLiteral(" needs a whole number")).toStdString());
    return n;
}

std::optional<QDate> dateOption(const MaintenanceLine &line, const QString &option)
{
    if (!line.values.contains(option))
        return std::nullopt;
    const QDate date = QDate::fromString(line.values.value(option), Qt::ISODate);
    if (!date.isValid())
        throw std::invalid_argument((option + QStringLiteral(" needs a date as yyyy-MM-dd")).toStdString());
    return date;
}

int checkCommand(const ViewerRunValues &values, const MaintenanceLine &line, QTextStream &out)
{
    UndeliveredCheckOptions options;
    options.warning = wholeNumber(line, QStringLiteral("-w"), options.warning);
    options.critical = wholeNumber(line, QStringLiteral("-c"), options.critical);
    options.ageDays = int(wholeNumber(line, QStringLiteral("--age"), options.ageDays));
    options.criticalAgeDays =
        int(wholeNumber(line, QStringLiteral("--critical-age"), options.criticalAgeDays));
    if (options.warning > options.critical)
        throw std::invalid_argument("-w must not be above -c");
    const qint64 timeout = wholeNumber(line, QStringLiteral("-t"), DefaultCheckTimeout);
    if (timeout <= 0 || timeout > 86400)
        throw std::invalid_argument("-t needs a number of seconds from 1 to 86400");
    std::signal(SIGALRM, checkTimedOut);
    ::alarm(unsigned(timeout));
    const CheckOutcome outcome = checkUndelivered(values.AppPath, values.DbConnectionString, options);
    out << outcome.line << Qt::endl;
    return int(outcome.state);
}

int auditCommand(const ViewerRunValues &values, const MaintenanceLine &line, QTextStream &out)
{
    const AuditPeriod period{dateOption(line, QStringLiteral("--from")),
                             dateOption(line, QStringLiteral("--to"))};
    if (period.from && period.to && *period.from > *period.to)
        throw std::invalid_argument(
            QStringLiteral("--from %1 is after --to %2: the period has no day")
                .arg(period.from->toString(Qt::ISODate), period.to->toString(Qt::ISODate))
                .toStdString());
    if (values.DbConnectionString.isEmpty())
        throw std::runtime_error("No database connection defined.");
    DbConnection connection(values.AppPath, QStringLiteral("SQLNCLI.1"));
    connection.open(values.DbConnectionString);
    const QString path = line.values.value(AuditSwitch);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw std::runtime_error(
            QStringLiteral("Cannot write %1: %2").arg(path, file.errorString()).toStdString());
    const qint64 rows = writeAuditCsv(connection, period, file);
    if (!file.commit())
        throw std::runtime_error(
            QStringLiteral("Cannot write %1: %2").arg(path, file.errorString()).toStdString());
    out << rows << " audit rows written to " << path << Qt::endl;
    return 0;
}

} // namespace

bool isMaintenanceCommand(const QStringList &arguments)
{
    return arguments.contains(CheckSwitch) || arguments.contains(AuditSwitch);
}

int runMaintenanceCommand(const QString &appPath, const QStringList &arguments, QTextStream &out,
                          QTextStream &errors)
{
    MaintenanceLine line;
    try {
        line = parseLine(arguments);
    } catch (const std::invalid_argument &error) {
        // A monitoring system reads a bad command line as UNKNOWN, not as a failure of the system.
        const bool check = arguments.contains(CheckSwitch);
        (check ? out : errors) << (check ? unknownOutcome(QString::fromStdString(error.what())).line
                                         : QString::fromStdString(error.what()))
                               << Qt::endl;
        return check ? int(CheckState::Unknown) : UnusableCommandLine;
    }
    if (line.check && line.checkHelp) {
        out << checkUsage() << Qt::endl;
        return 0;
    }
    if (line.check && line.checkVersion) {
        out << "check_ovtrack " << ovtrack::FileVersion << Qt::endl;
        return 0;
    }
    const ViewerRunValues values = ViewerRunValues::fromEnvironment(appPath, line.positional);
    try {
        return line.check ? checkCommand(values, line, out) : auditCommand(values, line, out);
    } catch (const std::exception &error) {
        if (line.check) {
            out << unknownOutcome(QString::fromStdString(error.what())).line << Qt::endl;
            return int(CheckState::Unknown);
        }
        errors << QString::fromStdString(error.what()) << Qt::endl;
        return dynamic_cast<const std::invalid_argument *>(&error) ? UnusableCommandLine : 1;
    }
}
