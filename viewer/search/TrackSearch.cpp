#include "viewer/search/TrackSearch.h"

#include "shared/tracking/DbConnection.h"
#include "shared/db/DbError.h"
#include "viewer/search/TrackResultModel.h"

namespace {

const QLatin1String CountField("TRACKCOUNT");

} // namespace

TrackSearch::TrackSearch(DbConnection &connection, TrackResultModel &model)
    : m_connection(connection), m_model(model), m_trackQuery(connection), m_countQuery(connection)
{}

void TrackSearch::closeTrackQuery()
{
    m_model.clear();
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
        m_model.setReader(TrackResultReader(m_trackQuery.query(), m_connection.sharedDialect()));
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
        // A session reads one result at a time: the grid's rows come in first, whole.
        if (m_model.isReading())
            m_model.fetchAll();
        const std::unique_ptr<db::Cursor> cursor = m_countQuery.query();
        if (const int column = cursor->columnIndex(CountField); column >= 0 && cursor->next())
            count = cursor->integer(column);
    } catch (const std::exception &) {
        count = 0; // a failed count is not reported; the search goes on
    }
    m_trackCount = count;
    return count;
}
