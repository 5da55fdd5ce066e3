#include "viewer/search/TrackSearch.h"

#include "shared/DbConnection.h"
#include "shared/DbError.h"
#include "viewer/search/TrackResultModel.h"

#include <QSqlError>

namespace {

const QString CountField = QStringLiteral("TRACKCOUNT");

// The count of a PostgreSQL count statement's only row; 0 when it has none.
qint64 countIn(PostgresNativeQuery &rows)
{
    const int column = rows.fieldIndex(CountField.toLatin1());
    QSqlError error;
    if (column < 0 || !rows.next(error) || rows.row().isNull(column))
        return 0;
    return rows.row().text(column).toLongLong();
}

} // namespace

TrackSearch::TrackSearch(DbConnection &connection, TrackResultModel &model)
    : m_connection(connection), m_model(model), m_trackQuery(connection), m_countQuery(connection)
{}

void TrackSearch::closeTrackQuery()
{
    m_model.clear();
    m_trackQuery.close();
}

void TrackSearch::setTrackQueryText(const QString &text)
{
    closeTrackQuery();
    m_trackQuery.setText(text);
}

TrackSearch::Result TrackSearch::RunTrackQuery(const SearchCriteria &criteria, const QString &sortOrder,
                                               const QDateTime &now)
{
    closeTrackQuery();
    m_criteriaText.clear();
    m_trackQuery.setText({});

    // The sentinel literals depend on the backend. Without any connection string there is none: the
    // production dialect composes, and the statements then fail to run with the layer's own message.
    std::shared_ptr<const SqlDialect> dialect;
    try {
        dialect = m_connection.sharedDialect();
    } catch (const DbError &) {
        dialect = SqlDialect::create(Backend::SqlServer);
    }
    const ComposedTrackQuery composed = TrackQueryComposer(*dialect).compose(criteria, sortOrder, now);
    if (!composed.hasCriteria())
        return {Outcome::NoCriteria, {}};

    m_trackQuery.setLines(composed.trackLines);
    composed.bindTo(m_trackQuery);
    m_criteriaText = composed.criteriaText;
    m_countQuery.setLines(composed.countLines);
    m_countQuery.copyBindingsFrom(m_trackQuery);
    m_trackCount = GetTrackCount();
    if (m_accessRecorder) {
        try {
            m_accessRecorder(*this);
        } catch (const std::exception &error) {
            return {Outcome::Refused, QString::fromStdString(error.what())};
        }
    }

    try {
        // On PostgreSQL through libpq, unprepared: one round trip, planned for these values.
        if (std::unique_ptr<PostgresNativeQuery> rows = m_trackQuery.startOnPostgres()) {
            m_model.setReader(TrackResultReader(std::move(rows), m_connection.sharedDialect()));
        } else {
            QSqlQuery query = m_trackQuery.prepareBound();
            if (!query.exec())
                throw m_connection.failure(query.lastError());
            m_model.setQuery(std::move(query), m_connection.sharedDialect());
        }
    } catch (const DbError &error) {
        closeTrackQuery();
        return {Outcome::OpenFailed, error.message()};
    }
    return {Outcome::Opened, {}};
}

qint64 TrackSearch::GetTrackCount()
{
    qint64 count = 0;
    try {
        if (m_model.isReading() && m_connection.dialect().readsOneResultAtATime())
            m_model.fetchAll();
        if (std::unique_ptr<PostgresNativeQuery> rows = m_countQuery.startOnPostgres()) {
            count = countIn(*rows);
        } else {
            const DbResult result = m_countQuery.open();
            if (result.rowCount() > 0 && result.hasField(CountField))
                count = result.integer(0, CountField).value_or(0);
        }
    } catch (const std::exception &) {
        count = 0; // a failed count is not reported; the search goes on
    }
    m_countQuery.close();
    m_trackCount = count;
    return count;
}
