#include "viewer/search/CsvWriter.h"

#include "viewer/search/SpreadsheetText.h"
#include "viewer/search/TrackResultModel.h"

#include <QIODevice>
#include <QSaveFile>

#include <stdexcept>

QString CsvWriter::field(const QString &cell)
{
    const QString text = spreadsheetText(cell);
    const bool quote =
        text.contains(u',') || text.contains(u'"') || text.contains(u'\r') || text.contains(u'\n');
    if (!quote)
        return text;
    QString escaped = text;
    escaped.replace(u'"', QStringLiteral("\"\""));
    return u'"' + escaped + u'"';
}

QString CsvWriter::record(const QStringList &fields)
{
    QStringList escaped;
    escaped.reserve(fields.size());
    for (const QString &text : fields)
        escaped << field(text);
    return escaped.join(u',') + QStringLiteral("\r\n");
}

void CsvWriter::writeRecord(const QStringList &fields)
{
    const QByteArray bytes = record(fields).toUtf8();
    if (m_device.write(bytes) != bytes.size())
        throw std::runtime_error(m_device.errorString().toStdString());
}

qint64 writeTrackCsv(TrackResultModel &model, QIODevice &device)
{
    CsvWriter writer(device);
    QStringList cells;
    for (const GridColumn &column : gridColumns())
        cells << QString::fromLatin1(column.title);
    writer.writeRecord(cells);
    qint64 written = 0;
    const auto writeRow = [&](const TrackRowStore::Row &row) {
        cells.clear();
        for (const GridColumn &column : gridColumns())
            cells << TrackRowText::displayText(row, column.field);
        writer.writeRecord(cells);
        ++written;
    };
    for (int row = 0; row < model.rowCount(); ++row)
        writeRow(model.row(row));
    model.streamRest(writeRow);
    if (!model.fetchError().isEmpty())
        throw std::runtime_error(model.fetchError().toStdString());
    return written;
}

namespace {

[[noreturn]] void cannotWrite(const QSaveFile &file)
{
    throw std::runtime_error(
        QStringLiteral("Cannot write %1: %2").arg(file.fileName(), file.errorString()).toStdString());
}

} // namespace

qint64 writeTrackCsvFile(TrackResultModel &model, QSaveFile &file)
{
    if (!file.open(QIODevice::WriteOnly))
        cannotWrite(file);
    return writeTrackCsv(model, file);
}

void commitCsvFile(QSaveFile &file)
{
    if (!file.commit())
        cannotWrite(file);
}
