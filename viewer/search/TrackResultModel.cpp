#include "viewer/search/TrackResultModel.h"

#include "shared/DbError.h"
#include "shared/SqlDialect.h"

#include <QSqlError>
#include <QSqlRecord>

#include <limits>

namespace {

enum class Kind
{
    Computed,
    Text,
    Time,
    Int
};

struct FieldSlot
{
    TrackFieldInfo info;
    Kind kind;
    int slot; // index into the row's texts or times
};

using enum TrackField;
constexpr std::array<FieldSlot, TrackFieldCount> Fields = {{
    {{Status, "Status", "Status"}, Kind::Computed, 0},
    {{PracID, "PracID", "Prac. ID"}, Kind::Text, 0},
    {{QZDeliveryTime, "QZDeliveryTime", "Delivery Time"}, Kind::Time, 0},
    {{MsgID, "MsgID", "Msg. ID"}, Kind::Text, 1},
    {{Sender, "Sender", "Sender"}, Kind::Text, 2},
    {{Filename, "Filename", "Filename"}, Kind::Text, 3},
    {{QZServerReceiveTime, "QZServerReceiveTime", "Server Recv. Time"}, Kind::Time, 1},
    {{FileType, "FileType", "File Type"}, Kind::Text, 4},
    {{LabId, "LabId", "Lab. ID"}, Kind::Text, 5},
    {{RequestDate, "RequestDate", "Request Date"}, Kind::Time, 2},
    {{AddresseeDoc, "AddresseeDoc", "Addressee Doc"}, Kind::Text, 6},
    {{RequestingDoc, "RequestingDoc", "Requesting Doc"}, Kind::Text, 7},
    {{Patient, "Patient", "Patient"}, Kind::Text, 8},
    {{PatientGiven, "PatientGiven", "Patient Given"}, Kind::Text, 9},
    {{PatientAddress, "PatientAddress", "Patient Address"}, Kind::Text, 10},
    {{PatientDOB, "PatientDOB", "Patient DOB"}, Kind::Time, 3},
    {{DocsPTRef, "DocsPTRef", "Docs Pat. Ref"}, Kind::Text, 11},
    {{Test, "Test", "Test"}, Kind::Text, 12},
    {{CollectTime, "CollectTime", "Collect Time"}, Kind::Text, 13},
    {{ReportTime, "ReportTime", "Report Time"}, Kind::Text, 14},
    {{PatientName, "PatientName", "Patient Name"}, Kind::Computed, 1},
    {{ReadStatus, "ReadStatus", "ReadStatus"}, Kind::Int, 0},
    {{RunNumber, "RunNumber", "Run Number"}, Kind::Text, 15},
    {{StatusTime, "StatusTime", "StatusTime"}, Kind::Time, 4},
}};

const std::array<GridColumn, 14> Columns = {{
    {Status, "Status", 78},
    {PracID, "Prac. ID", 59},
    {Filename, "Filename", 52},
    {PatientName, "Patient Name", 128},
    {PatientDOB, "DOB", 82},
    {LabId, "Lab Ref", 62},
    {Test, "Test Names", 293},
    {RequestDate, "Request Date", 68},
    {AddresseeDoc, "Addressee", 158},
    {RequestingDoc, "Requestor", 0},
    {FileType, "File Type", 0},
    {QZServerReceiveTime, "Server Recv. Time", 0},
    {QZDeliveryTime, "Delivery Time", 0},
    {RunNumber, "Run Number", 0},
}};

const FieldSlot &slotOf(TrackField field)
{
    return Fields[std::size_t(field)];
}

constexpr qint64 NullTime = std::numeric_limits<qint64>::min();
constexpr qint64 MsecsPerDay = 86400000;

qint64 wallMsecs(QDate date, QTime time)
{
    return date.toJulianDay() * MsecsPerDay + time.msecsSinceStartOfDay();
}

int digits(QStringView text, qsizetype from, qsizetype count, bool &ok)
{
    int value = 0;
    for (qsizetype i = from; i < from + count; ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9') {
            ok = false;
            return 0;
        }
        value = value * 10 + (c - u'0');
    }
    return value;
}

// "yyyy-MM-dd", optionally with " HH:mm:ss" and ".zzz": the form SQLite keeps date-times in.
std::optional<qint64> canonicalWallMsecs(QStringView text)
{
    const qsizetype size = text.size();
    if (size != 10 && size != 19 && size != 23)
        return std::nullopt;
    if (text[4] != u'-' || text[7] != u'-')
        return std::nullopt;
    bool ok = true;
    const QDate date(digits(text, 0, 4, ok), digits(text, 5, 2, ok), digits(text, 8, 2, ok));
    QTime time(0, 0);
    if (size >= 19) {
        if (text[10] != u' ' || text[13] != u':' || text[16] != u':')
            return std::nullopt;
        const int msec = size == 23 && text[19] == u'.' ? digits(text, 20, 3, ok) : 0;
        if (size == 23 && text[19] != u'.')
            return std::nullopt;
        time = QTime(digits(text, 11, 2, ok), digits(text, 14, 2, ok), digits(text, 17, 2, ok), msec);
    }
    if (!ok || !date.isValid() || !time.isValid())
        return std::nullopt;
    return wallMsecs(date, time);
}

qint64 timeValue(const QVariant &value, const SqlDialect &dialect)
{
    if (value.isNull() || !value.isValid())
        return NullTime;
    if (value.metaType().id() == QMetaType::QString) {
        if (const auto fast = canonicalWallMsecs(value.toString()))
            return *fast;
    }
    const std::optional<QDateTime> parsed = dialect.dateTimeValue(value);
    if (!parsed || !parsed->isValid())
        return NullTime;
    return wallMsecs(parsed->date(), parsed->time());
}

} // namespace

std::optional<QString> TrackResultModel::Row::text(int slot) const
{
    if (nullTexts & (1u << slot))
        return std::nullopt;
    const quint32 start = slot == 0 ? 0 : textEnds[std::size_t(slot - 1)];
    return QString::fromUtf8(texts.constData() + start, qsizetype(textEnds[std::size_t(slot)] - start));
}

std::optional<QDateTime> TrackResultModel::Row::time(int slot) const
{
    const qint64 wall = times[std::size_t(slot)];
    if (wall == NullTime)
        return std::nullopt;
    const qint64 day = wall >= 0 ? wall / MsecsPerDay : (wall - MsecsPerDay + 1) / MsecsPerDay;
    // Wall-clock values: the UTC spec keeps every formatting and comparison free of time-zone work.
    return QDateTime(QDate::fromJulianDay(day),
                     QTime::fromMSecsSinceStartOfDay(int(wall - day * MsecsPerDay)), Qt::UTC);
}

namespace {} // namespace

const TrackFieldInfo &trackFieldInfo(TrackField field)
{
    return slotOf(field).info;
}

std::optional<TrackField> trackFieldNamed(const QString &name)
{
    for (const FieldSlot &slot : Fields) {
        if (name.compare(QLatin1String(slot.info.name), Qt::CaseInsensitive) == 0)
            return slot.info.field;
    }
    return std::nullopt;
}

const std::array<GridColumn, 14> &gridColumns()
{
    return Columns;
}

TrackResultModel::TrackResultModel(QObject *parent) : QAbstractTableModel(parent) {}

TrackResultModel::~TrackResultModel() = default;

void TrackResultModel::setQuery(QSqlQuery query, std::shared_ptr<const SqlDialect> dialect)
{
    clear();
    const QSqlRecord record = query.record();
    std::array<int, TrackFieldCount> columnOfField{};
    for (const FieldSlot &slot : Fields) {
        int column = -1;
        if (slot.kind != Kind::Computed) {
            column = record.indexOf(QLatin1String(slot.info.name));
            if (column < 0)
                throw DbError(
                    DbError::Kind::AccessLayer,
                    QStringLiteral("TrackQuery: Field '%1' not found").arg(QLatin1String(slot.info.name)));
        }
        columnOfField[std::size_t(slot.info.field)] = column;
    }
    beginResetModel();
    m_query = std::move(query);
    m_dialect = std::move(dialect);
    m_columnOfField = columnOfField;
    m_open = true;
    m_atEnd = false;
    m_fetchError.clear();
    readBatch(m_rows, FetchBatch);
    endResetModel();
}

void TrackResultModel::clear()
{
    beginResetModel();
    m_query = QSqlQuery();
    m_rows.clear();
    m_rows.shrink_to_fit();
    m_open = false;
    m_atEnd = true;
    endResetModel();
}

void TrackResultModel::readBatch(std::vector<Row> &out, int rows)
{
    for (int n = 0; n < rows; ++n) {
        if (!m_query.next()) {
            m_atEnd = true;
            if (m_query.lastError().isValid())
                m_fetchError = sqlErrorText(m_query.lastError());
            m_query.finish();
            return;
        }
        out.push_back(readRow());
    }
}

TrackResultModel::Row TrackResultModel::readRow() const
{
    Row row;
    for (const FieldSlot &slot : Fields) {
        const int column = m_columnOfField[std::size_t(slot.info.field)];
        switch (slot.kind) {
        case Kind::Text: {
            const QVariant value = m_query.value(column);
            if (value.isNull())
                row.nullTexts |= quint16(1u << slot.slot);
            else
                row.texts += value.toString().toUtf8();
            row.textEnds[std::size_t(slot.slot)] = quint32(row.texts.size());
            break;
        }
        case Kind::Time:
            row.times[std::size_t(slot.slot)] = timeValue(m_query.value(column), *m_dialect);
            break;
        case Kind::Int: {
            const QVariant value = m_query.value(column);
            row.hasReadStatus = !value.isNull();
            row.readStatus = row.hasReadStatus ? value.toInt() : 0;
            break;
        }
        case Kind::Computed:
            break;
        }
    }
    row.texts.squeeze();
    return row;
}

int TrackResultModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int TrackResultModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(Columns.size());
}

bool TrackResultModel::canFetchMore(const QModelIndex &parent) const
{
    return !parent.isValid() && m_open && !m_atEnd;
}

void TrackResultModel::fetchMore(const QModelIndex &parent)
{
    if (!canFetchMore(parent))
        return;
    // Rows are read first so the view learns exactly how many arrive.
    const int first = int(m_rows.size());
    std::vector<Row> fresh;
    readBatch(fresh, FetchBatch);
    if (fresh.empty())
        return;
    beginInsertRows({}, first, first + int(fresh.size()) - 1);
    m_rows.insert(m_rows.end(), std::make_move_iterator(fresh.begin()), std::make_move_iterator(fresh.end()));
    endInsertRows();
}

void TrackResultModel::fetchAll()
{
    while (canFetchMore())
        fetchMore();
}

TrackRowFacts TrackResultModel::facts(int row) const
{
    const Row &r = rowAt(row);
    TrackRowFacts facts;
    facts.deliveryTime = r.time(slotOf(QZDeliveryTime).slot);
    facts.statusTime = r.time(slotOf(StatusTime).slot);
    facts.receiveTime = r.time(slotOf(QZServerReceiveTime).slot);
    if (r.hasReadStatus)
        facts.readStatus = r.readStatus;
    facts.patient = r.text(slotOf(Patient).slot);
    facts.patientGiven = r.text(slotOf(PatientGiven).slot);
    return facts;
}

QVariant TrackResultModel::value(int row, TrackField field) const
{
    const FieldSlot &slot = slotOf(field);
    const Row &r = rowAt(row);
    switch (slot.kind) {
    case Kind::Computed:
        return displayText(row, field);
    case Kind::Text: {
        const std::optional<QString> text = r.text(slot.slot);
        return text ? QVariant(*text) : QVariant();
    }
    case Kind::Time: {
        const std::optional<QDateTime> time = r.time(slot.slot);
        return time ? QVariant(*time) : QVariant();
    }
    case Kind::Int:
        return r.hasReadStatus ? QVariant(r.readStatus) : QVariant();
    }
    return {};
}

QString TrackResultModel::displayText(int row, TrackField field) const
{
    switch (field) {
    case Status:
        return TrackRowPresentation::statusText(facts(row));
    case PatientName:
        return TrackRowPresentation::patientName(facts(row));
    case QZDeliveryTime: {
        const auto shown = TrackRowPresentation::shownDeliveryTime(facts(row));
        return shown ? TrackRowPresentation::gridDateTimeText(*shown) : QString();
    }
    default:
        break;
    }
    const FieldSlot &slot = slotOf(field);
    const Row &r = rowAt(row);
    switch (slot.kind) {
    case Kind::Text:
        return r.text(slot.slot).value_or(QString());
    case Kind::Time: {
        const std::optional<QDateTime> time = r.time(slot.slot);
        return time ? TrackRowPresentation::gridDateTimeText(*time) : QString();
    }
    case Kind::Int:
        return r.hasReadStatus ? QString::number(r.readStatus) : QString();
    case Kind::Computed:
        break;
    }
    return {};
}

QString TrackResultModel::cellText(int row, int column) const
{
    return displayText(row, Columns.at(std::size_t(column)).field);
}

QVariant TrackResultModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= int(m_rows.size()) || index.column() >= int(Columns.size()))
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return cellText(index.row(), index.column());
    case Qt::BackgroundRole:
    case Qt::ForegroundRole: {
        const auto colours = TrackRowPresentation::rowColours(displayText(index.row(), Status));
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
    if (section < 0 || section >= int(Columns.size()))
        return {};
    return QString::fromLatin1(Columns[std::size_t(section)].title);
}

Qt::ItemFlags TrackResultModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}
