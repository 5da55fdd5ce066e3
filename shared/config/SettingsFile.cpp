#include "shared/config/SettingsFile.h"

#include "shared/text/TextCodec.h"

#include <QFile>
#include <QSaveFile>

#include <stdexcept>

namespace {

QString withoutSpacesLower(const QString &line)
{
    QString probe = line;
    probe.remove(u' ');
    return probe.toLower();
}

// The text after the first "=", trimmed; `whole` decides what a line without "=" gives.
QString valueAfterEquals(const QString &line, bool wholeWhenMissing)
{
    const qsizetype eq = line.indexOf(u'=');
    if (eq < 0)
        return wholeWhenMissing ? line.trimmed() : QString();
    return line.mid(eq + 1).trimmed();
}

// Trims white space and control characters, which QString::trimmed leaves partly in place.
QString trimControls(const QString &line)
{
    qsizetype begin = 0;
    qsizetype end = line.size();
    auto isBlank = [](QChar c) { return c.isSpace() || c.category() == QChar::Other_Control; };
    while (begin < end && isBlank(line.at(begin)))
        ++begin;
    while (end > begin && isBlank(line.at(end - 1)))
        --end;
    return line.mid(begin, end - begin);
}

QStringList splitExtensions(const QString &text)
{
    if (text.isEmpty())
        return {};
    QStringList pieces = text.split(u';');
    if (text.endsWith(u';'))
        pieces.removeLast();
    return pieces;
}

// A whole number, 0 or more; anything else is refused with `refusal`, and the value there was stays.
int nonNegativeValue(const QString &text, const QString &refusal)
{
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    if (!ok || value < 0)
        throw std::runtime_error(refusal.toStdString());
    return value;
}

void applyLoaderLine(LoaderSettings &settings, const QString &rawLine)
{
    const QString line = trimControls(rawLine);
    if (!line.isEmpty() && QStringLiteral("+!*-").contains(line.at(0)))
        return;
    const QString probe = withoutSpacesLower(line);
    const QString lower = line.toLower();
    if (probe.contains(QLatin1String("summarydestination")))
        settings.trackingDir = withTrailingSeparator(valueAfterEquals(line, true));
    if (probe.contains(QLatin1String("trackingdbconnection")) && !lower.contains(QLatin1String("[default]")))
        settings.connectionString = valueAfterEquals(line, true);
    if (probe.contains(QLatin1String("qztrackstorehm")))
        settings.storeHM = lower.contains(u'y');
    if (probe.contains(QLatin1String("shortdateformat")))
        settings.shortDateFormat = valueAfterEquals(line, false);
    if (probe.contains(QLatin1String("qztrackfileextns")))
        settings.trackFileExtensions = splitExtensions(valueAfterEquals(line, true));
    if (probe.contains(QLatin1String("retaindays")))
        settings.retainDays = nonNegativeValue(
            valueAfterEquals(line, false),
            QStringLiteral("retaindays must be a whole number of days, 0 to keep everything"));
    if (probe.contains(QLatin1String("filepause"))) {
        const QString value = valueAfterEquals(line, false);
        settings.filePause = nonNegativeValue(
            value, QStringLiteral("filepause \"%1\" is not a number of milliseconds; the pause stays %2 ms.")
                       .arg(value)
                       .arg(settings.filePause));
    }
}

} // namespace

QString withTrailingSeparator(const QString &folder)
{
    if (folder.endsWith(u'/'))
        return folder;
    return folder + u'/';
}

QStringList readSettingsLines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error(file.errorString().toStdString());
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw std::runtime_error(file.errorString().toStdString());
    return splitTextLines(decodeServerText(bytes).text);
}

QByteArray defaultSettingsBytes(const QString &shortDateFormat)
{
    const QStringList lines = {
        QStringLiteral("summarydestination=") + QLatin1String(DefaultTrackingDir),
        QStringLiteral("+trackingdbconnection=[default]"),
        QStringLiteral("qztrackstorehm=Yes"),
        QStringLiteral("+shortdateformat=") + shortDateFormat,
        QStringLiteral("+qztrackfileextns=.qzd;.csv"),
        QStringLiteral("+++ Note: To Add Logging, in the Service Properties use the switch "),
        QStringLiteral("+++ /logging <loggingLevel> "),
        QStringLiteral("+++ By logical ORing the values below you can log different events"),
        QStringLiteral("+++   1 - Service Level"),
        QStringLiteral("+++   2 - Errors and trapped exceptions"),
        QStringLiteral("+++   4 - Delivery Notifications"),
        QStringLiteral("+++   8 - Delivery Receipts"),
        QStringLiteral("+++ Note Levels 4 and 8 are Verbose."),
    };
    QByteArray bytes;
    for (const QString &line : lines)
        bytes += toWindows1252(line) + "\r\n";
    return bytes;
}

void WriteDefaultSettings(const QString &path, const QString &shortDateFormat)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw std::runtime_error(file.errorString().toStdString());
    file.write(defaultSettingsBytes(shortDateFormat));
    if (!file.commit())
        throw std::runtime_error(file.errorString().toStdString());
}

void applyLoaderSettingsLines(LoaderSettings &settings, const QStringList &lines,
                              const std::function<void(int lineNumber, const QString &error)> &onLineError)
{
    for (qsizetype i = 0; i < lines.size(); ++i) {
        try {
            applyLoaderLine(settings, lines.at(i));
        } catch (const std::exception &e) {
            if (onLineError)
                onLineError(static_cast<int>(i + 1), QString::fromLocal8Bit(e.what()));
        }
    }
}

QString completeConnectionString(const QString &connectionString)
{
    const QString lower = connectionString.toLower();
    if (lower.contains(QLatin1String(".udl")) &&
        !withoutSpacesLower(lower).contains(QLatin1String("filename=")))
        return QStringLiteral("File name=") + connectionString;
    return connectionString;
}

ViewerSettings parseViewerSettings(const QStringList &lines)
{
    ViewerSettings settings;
    for (const QString &line : lines) {
        const QString probe = withoutSpacesLower(line);
        const QString key = probe.section(u'=', 0, 0);
        if (key == QLatin1String("userpath"))
            settings.userPath = withTrailingSeparator(valueAfterEquals(line, true));
        else if (key == QLatin1String("importpath"))
            settings.importPath = withTrailingSeparator(valueAfterEquals(line, true));
    }
    return settings;
}
