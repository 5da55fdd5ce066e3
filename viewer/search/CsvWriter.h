#pragma once

#include <QStringList>

class QIODevice;
class QSaveFile;
class TrackResultModel;

// Comma-separated text as RFC 4180 has it: CR LF after every record, a field quoted when it holds
// a comma, a double quote, CR or LF, and a double quote inside a quoted field doubled. UTF-8. A field
// that a spreadsheet would take for a formula is written as text (spreadsheetText).
class CsvWriter
{
public:
    explicit CsvWriter(QIODevice &device) : m_device(device) {}

    // Throws std::runtime_error with the device's message when the write fails.
    void writeRecord(const QStringList &fields);

    static QString field(const QString &cell);
    static QString record(const QStringList &fields);

private:
    QIODevice &m_device;
};

// Writes the grid's 14 columns, titles first, every row of the result as the grid shows it. Rows not
// yet read are written as they are read and not kept (TrackResultModel::streamRest), so memory stays
// flat however long the result; read the snapshot whole first to keep them. Returns the rows written.
qint64 writeTrackCsv(TrackResultModel &model, QIODevice &device);

// The same into a file that stays unwritten until commitCsvFile: opens it and writes every row.
// Throws std::runtime_error "Cannot write <file>: <reason>".
qint64 writeTrackCsvFile(TrackResultModel &model, QSaveFile &file);
void commitCsvFile(QSaveFile &file);
