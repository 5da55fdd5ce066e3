#pragma once

#include "viewer/search/TrackRowPresentation.h"

#include <QAbstractTableModel>
#include <QByteArray>
#include <QDateTime>
#include <QSqlQuery>
#include <QString>

#include <array>
#include <memory>
#include <optional>
#include <vector>

class SqlDialect;

// The fields of TrackQuery in order: the stored columns and the two computed ones.
enum class TrackField
{
    Status,
    PracID,
    QZDeliveryTime,
    MsgID,
    Sender,
    Filename,
    QZServerReceiveTime,
    FileType,
    LabId,
    RequestDate,
    AddresseeDoc,
    RequestingDoc,
    Patient,
    PatientGiven,
    PatientAddress,
    PatientDOB,
    DocsPTRef,
    Test,
    CollectTime,
    ReportTime,
    PatientName,
    ReadStatus,
    RunNumber,
    StatusTime,
};
inline constexpr int TrackFieldCount = 24;

struct TrackFieldInfo
{
    TrackField field;
    const char *name;
    const char *label;
};
const TrackFieldInfo &trackFieldInfo(TrackField field);
// The field with this name, compared without regard to case.
std::optional<TrackField> trackFieldNamed(const QString &name);

struct GridColumn
{
    TrackField field;
    const char *title;
    int width; // pixels; 0 for the grid's default width
};
// The 14 columns of ContentDBGrid, left to right.
const std::array<GridColumn, 14> &gridColumns();

// The rows of TrackQuery for the result grid. It reads a forward-only query in batches as the view
// asks for them, so a result of any size opens at once; only fetched rows are held. Cells show
// what the grid shows (computed status and name, shown delivery time, dates as "dd/mm/yyyy"), and
// the status text colours the rows.
class TrackResultModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    static constexpr int FetchBatch = 100;

    explicit TrackResultModel(QObject *parent = nullptr);
    ~TrackResultModel() override;

    // Takes an executed query and reads its first batch. Throws DbError naming a field the result
    // lacks; the model is then empty.
    void setQuery(QSqlQuery query, std::shared_ptr<const SqlDialect> dialect);
    // Closes the query and empties the grid.
    void clear();
    bool isOpen() const { return m_open; }

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    bool canFetchMore(const QModelIndex &parent = {}) const override;
    void fetchMore(const QModelIndex &parent = {}) override;
    // Reads every remaining row (reports and the export need the whole result).
    void fetchAll();

    // The text the grid, the reports and the export show for a field of a fetched row.
    QString displayText(int row, TrackField field) const;
    QString cellText(int row, int column) const;
    // A stored value: QString, QDateTime or int, or a null QVariant for SQL NULL. Computed fields
    // give their text.
    QVariant value(int row, TrackField field) const;
    TrackRowFacts facts(int row) const;
    // The failure that ended reading early, empty when none.
    const QString &fetchError() const { return m_fetchError; }

private:
    // A fetched row kept small: the texts as one UTF-8 block, date-times as wall-clock milliseconds
    // (day number and time of day, so that no time-zone conversion runs per cell).
    struct Row
    {
        QByteArray texts;
        std::array<quint32, 16> textEnds{};
        quint16 nullTexts = 0; // bit per text slot
        std::array<qint64, 5> times{};
        qint32 readStatus = 0;
        bool hasReadStatus = false;

        std::optional<QString> text(int slot) const;
        std::optional<QDateTime> time(int slot) const;
    };

    Row readRow() const;
    void readBatch(std::vector<Row> &out, int rows);
    const Row &rowAt(int row) const { return m_rows.at(std::size_t(row)); }

    QSqlQuery m_query;
    std::shared_ptr<const SqlDialect> m_dialect;
    std::array<int, TrackFieldCount> m_columnOfField{}; // record index per stored field, -1 for computed
    std::vector<Row> m_rows;
    bool m_open = false;
    bool m_atEnd = true;
    QString m_fetchError;
};
