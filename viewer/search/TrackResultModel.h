#pragma once

#include "viewer/search/TrackFields.h"
#include "viewer/search/TrackResultReader.h"

#include <QAbstractTableModel>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>

class SqlDialect;

// The rows of TrackQuery for the result grid, as a snapshot. Opening shows the first rows at once;
// the rest is read in chunks on the event loop, each chunk within a short time budget so the window
// stays responsive, and the statement is finished as soon as the last row is in. Reading stays on the
// connection's own thread: a session is confined to its thread, and a second session would read
// a different snapshot than the one counted and shown first. Cells show what the grid shows
// (computed status and name, shown delivery time, dates as "dd/mm/yyyy"); the status colours rows.
class TrackResultModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    static constexpr int FetchBatch = 100;
    // How long one background chunk may read before the event loop runs again.
    static constexpr int ChunkBudgetMs = 15;

    using RowSink = std::function<void(const TrackRowStore::Row &row)>;

    explicit TrackResultModel(QObject *parent = nullptr);
    ~TrackResultModel() override;

    // Takes a result being read, reads its first batch and starts reading the rest in the
    // background.
    void setReader(TrackResultReader reader);
    // Finishes the query and empties the grid.
    void clear();
    bool isOpen() const { return m_open; }
    // True while the statement is open: rows remain to be read.
    bool isReading() const { return m_reader && m_reader->isOpen(); }
    // Stops reading and finishes the statement; the rows read so far stay.
    void cancelRead();

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    // The view asks for more when it reaches the last row: it wants the end, so the rest is read.
    bool canFetchMore(const QModelIndex &parent = {}) const override;
    void fetchMore(const QModelIndex &parent = {}) override;
    // Reads every remaining row now (reports, Ctrl+End and the window's export need the whole result).
    void fetchAll();
    // Reads the remaining rows handing each to `sink` without keeping it: a one-pass export whose
    // memory does not grow with the result. The model keeps only the rows read before.
    void streamRest(const RowSink &sink);

    TrackRowStore::Row row(int row) const { return m_rows.row(row); }
    // The text the grid, the reports and the export show for a field of a read row.
    QString displayText(int row, TrackField field) const;
    QString cellText(int row, int column) const;
    // A stored value: QString, QDateTime or int, or a null QVariant for SQL NULL. Computed fields
    // give their text.
    QVariant value(int row, TrackField field) const;
    TrackRowFacts facts(int row) const;
    // The failure that ended reading early, empty when none.
    const QString &fetchError() const { return m_fetchError; }

signals:
    // After every background chunk and when reading ends: the rows read so far.
    void readProgress(int rowsRead);
    void readFinished();
    // Reading stopped early on a failure (see fetchError()): the rows read before it stay.
    void readFailed(const QString &error);

private:
    // Reads until `rows` more rows are in, the end, or the deadline; the view learns of them after.
    void readRows(int rows, std::optional<qint64> budgetMs = std::nullopt);
    void readChunk();
    void announceRows();
    void endRead();

    std::optional<TrackResultReader> m_reader;
    TrackRowStore m_rows;
    TrackRowStore::RowBuilder m_builder;
    int m_shownRows = 0; // rows the view has been told of; the store may hold more for a moment
    QTimer m_readTimer;
    bool m_open = false;
    QString m_fetchError;
};
