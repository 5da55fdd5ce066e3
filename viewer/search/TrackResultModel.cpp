#include "viewer/search/TrackResultModel.h"

#include "shared/db/DbError.h"

#include <QElapsedTimer>

#include <limits>

namespace {

// Rows read between looks at the clock.
constexpr int RowsPerClockCheck = 64;

} // namespace

TrackResultModel::TrackResultModel(QObject *parent)
    : QAbstractTableModel(parent), m_rows(sharedTrackTextSlots())
{
    m_readTimer.setSingleShot(true);
    m_readTimer.setInterval(0);
    connect(&m_readTimer, &QTimer::timeout, this, &TrackResultModel::readChunk);
}

TrackResultModel::~TrackResultModel() = default;

void TrackResultModel::setReader(TrackResultReader reader)
{
    clear();
    beginResetModel();
    m_reader.emplace(std::move(reader));
    m_open = true;
    m_fetchError.clear();
    readRows(FetchBatch);
    m_shownRows = m_rows.size();
    endResetModel();
    if (isReading())
        m_readTimer.start();
    else
        endRead();
}

void TrackResultModel::clear()
{
    m_readTimer.stop();
    beginResetModel();
    m_reader.reset();
    m_rows.clear();
    m_shownRows = 0;
    m_open = false;
    endResetModel();
}

void TrackResultModel::cancelRead()
{
    if (!isReading())
        return;
    m_reader->finish();
    endRead();
}

void TrackResultModel::readRows(int rows, std::optional<qint64> budgetMs)
{
    QElapsedTimer clock;
    clock.start();
    for (int n = 0; n < rows; ++n) {
        if (!m_reader->next(m_builder))
            return;
        m_rows.append(m_builder);
        if (budgetMs && n % RowsPerClockCheck == RowsPerClockCheck - 1 && clock.elapsed() >= *budgetMs)
            return;
    }
}

void TrackResultModel::announceRows()
{
    if (m_rows.size() == m_shownRows)
        return;
    beginInsertRows({}, m_shownRows, m_rows.size() - 1);
    m_shownRows = m_rows.size();
    endInsertRows();
}

void TrackResultModel::endRead()
{
    m_readTimer.stop();
    if (m_reader) {
        m_fetchError = m_reader->error();
        m_reader.reset();
    }
    emit readProgress(m_shownRows);
    emit readFinished();
    if (!m_fetchError.isEmpty())
        emit readFailed(m_fetchError);
}

void TrackResultModel::readChunk()
{
    if (!isReading())
        return;
    readRows(std::numeric_limits<int>::max(), ChunkBudgetMs);
    announceRows();
    if (isReading()) {
        emit readProgress(m_shownRows);
        m_readTimer.start();
    } else {
        endRead();
    }
}

void TrackResultModel::fetchAll()
{
    if (!isReading())
        return;
    m_readTimer.stop();
    readRows(std::numeric_limits<int>::max());
    announceRows();
    endRead();
}

void TrackResultModel::streamRest(const RowSink &sink)
{
    if (!isReading())
        return;
    m_readTimer.stop();
    try {
        while (m_reader->next(m_builder))
            sink(m_builder.row());
    } catch (...) {
        m_reader->finish();
        endRead();
        throw;
    }
    endRead();
}

int TrackResultModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_shownRows;
}

int TrackResultModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(gridColumns().size());
}

bool TrackResultModel::canFetchMore(const QModelIndex &parent) const
{
    return !parent.isValid() && isReading();
}

void TrackResultModel::fetchMore(const QModelIndex &parent)
{
    if (canFetchMore(parent))
        fetchAll();
}

TrackRowFacts TrackResultModel::facts(int row) const
{
    return TrackRowText::facts(m_rows.row(row));
}

QVariant TrackResultModel::value(int row, TrackField field) const
{
    return TrackRowText::value(m_rows.row(row), field);
}

QString TrackResultModel::displayText(int row, TrackField field) const
{
    return TrackRowText::displayText(m_rows.row(row), field);
}

QString TrackResultModel::cellText(int row, int column) const
{
    return displayText(row, gridColumns().at(std::size_t(column)).field);
}

QVariant TrackResultModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_shownRows || index.column() >= columnCount())
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return cellText(index.row(), index.column());
    case Qt::BackgroundRole:
    case Qt::ForegroundRole: {
        const auto colours = TrackRowPresentation::rowColours(displayText(index.row(), TrackField::Status));
        if (!colours)
            return {};
        return role == Qt::BackgroundRole ? colours->background : colours->text;
    }
    default:
        return {};
    }
}

QVariant TrackResultModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Vertical)
        return QString();
    if (section < 0 || section >= columnCount())
        return {};
    return QString::fromLatin1(gridColumns()[std::size_t(section)].title);
}

Qt::ItemFlags TrackResultModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}
