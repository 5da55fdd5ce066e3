#include "tests/reliability/TrackingLedger.h"

#include "shared/tracking/DbStatement.h"
#include "shared/text/TextCodec.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

namespace {

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool isDataLine(const QString &line)
{
    return line.contains(u',') && !line.startsWith(QStringLiteral("sender,"), Qt::CaseInsensitive);
}

QString messageOf(const QString &line)
{
    return line.section(u',', -1).trimmed();
}

// Every data line of the tracking files under `folder`, sub-folders (errors/) included.
QSet<QString> waitingLines(const QString &folder)
{
    QSet<QString> lines;
    QDirIterator files(folder, {QStringLiteral("*.qzd"), QStringLiteral("*.csv")}, QDir::Files,
                       QDirIterator::Subdirectories);
    while (files.hasNext())
        for (const QString &line : splitTextLines(decodeServerText(readAll(files.next())).text))
            if (isDataLine(line))
                lines.insert(line);
    return lines;
}

} // namespace

TrackingLedger::TrackingLedger(const QString &trackingDir) : m_trackingDir(trackingDir)
{
    const QDir dir(trackingDir);
    for (const QString &name :
         dir.entryList({QStringLiteral("*.qzd"), QStringLiteral("*.csv")}, QDir::Files)) {
        for (const QString &line : splitTextLines(decodeServerText(readAll(dir.filePath(name))).text)) {
            if (!isDataLine(line))
                continue;
            m_lines << line;
            if (name.endsWith(QStringLiteral(".qzd")))
                ++m_newLines[messageOf(line)];
        }
    }
    for (const QString &name :
         dir.entryList({QStringLiteral("*.data"), QStringLiteral("*.qzdata")}, QDir::Files))
        m_content.insert(name, readAll(dir.filePath(name)));
}

TrackingLedger::Outcome TrackingLedger::verify(DbConnection &database) const
{
    Outcome outcome;
    const auto fault = [&outcome](const QString &text) {
        if (outcome.faults.size() < 10)
            outcome.faults << text;
    };

    QHash<QString, int> rows;
    const DbResult counted =
        DbStatement(database,
                    QStringLiteral("select MsgID as id, count(*) as n from Tracking group by MsgID"))
            .open();
    for (int row = 0; row < counted.rowCount(); ++row)
        rows.insert(counted.text(row, QStringLiteral("id")),
                    static_cast<int>(counted.integer(row, QStringLiteral("n")).value_or(0)));

    const QSet<QString> waiting = waitingLines(m_trackingDir);
    for (const QString &line : m_lines) {
        ++outcome.lines;
        if (rows.contains(messageOf(line)))
            ++outcome.linesInTracking;
        else if (waiting.contains(line))
            ++outcome.linesWaiting;
        else {
            ++outcome.linesLost;
            fault(QStringLiteral("lost line: ") + line);
        }
    }
    for (auto it = rows.cbegin(); it != rows.cend(); ++it) {
        if (it.value() > std::max(1, m_newLines.value(it.key()))) {
            ++outcome.messagesWithTooManyRows;
            fault(QStringLiteral("%1 has %2 rows").arg(it.key()).arg(it.value()));
        }
    }

    const QDir dir(m_trackingDir);
    DbStatement stored(database, QStringLiteral("select HMData from HM_CONTENT where MsgID = :id"));
    for (auto it = m_content.cbegin(); it != m_content.cend(); ++it) {
        ++outcome.contentFiles;
        if (QFileInfo::exists(dir.filePath(it.key()))) {
            ++outcome.contentWaiting;
            continue;
        }
        stored.bind(QStringLiteral("id"), ParamType::Text, QFileInfo(it.key()).completeBaseName());
        const DbResult result = stored.open();
        bool exact = false;
        for (int row = 0; row < result.rowCount() && !exact; ++row)
            exact = result.value(row, QStringLiteral("HMData")).toByteArray() == it.value();
        if (exact)
            ++outcome.contentStored;
        else {
            ++outcome.contentLost;
            fault(QStringLiteral("content file %1 neither stored exactly (%2 rows) nor waiting")
                      .arg(it.key())
                      .arg(result.rowCount()));
        }
    }

    const DbResult integrity = DbStatement(database, QStringLiteral("PRAGMA integrity_check")).open();
    outcome.integrity = integrity.rowCount() > 0 ? integrity.text(0, integrity.fieldNames().constFirst())
                                                 : QStringLiteral("(no answer)");
    return outcome;
}
