#pragma once

#include "shared/tracking/DbStatement.h"
#include "viewer/search/SearchCriteria.h"
#include "viewer/search/TrackQueryComposer.h"

#include <QDateTime>
#include <QString>

#include <functional>

class DbConnection;
class TrackResultModel;

// RunTrackQuery and GetTrackCount without a window: TrackQuery (whose rows the model shows),
// CountQuery, TrackCount and CriteriaText. The window and the headless export both run it.
class TrackSearch
{
public:
    enum class Outcome
    {
        Opened,
        NoCriteria, // nothing ticked: TrackCount and CountQuery are left as they were
        OpenFailed, // the count ran; the tracking statement could not be opened
        Refused     // the count ran; the access recorder stopped the search (its message in `error`)
    };
    struct Result
    {
        Outcome outcome;
        QString error; // the database's message when opening failed
    };

    TrackSearch(DbConnection &connection, TrackResultModel &model);

    // Runs once a search is counted, before its rows are read: no read is open then, so it may write
    // (the window audits the search there). An exception it throws stops the search, Refused.
    using AccessRecorder = std::function<void(const TrackSearch &search)>;
    void setAccessRecorder(AccessRecorder recorder) { m_accessRecorder = std::move(recorder); }

    // Composes both statements, counts, and opens TrackQuery into the model.
    Result RunTrackQuery(const SearchCriteria &criteria, const QString &sortOrder, const QDateTime &now);
    // Runs CountQuery as the last search left it; 0 when anything fails.
    qint64 GetTrackCount();
    // Closes TrackQuery; the grid empties.
    void closeTrackQuery();

    qint64 TrackCount() const { return m_trackCount; }
    const QString &CriteriaText() const { return m_criteriaText; }
    DbConnection &connection() const { return m_connection; }
    const DbStatement &TrackQuery() const { return m_trackQuery; }
    const DbStatement &CountQuery() const { return m_countQuery; }
    // The tracking statement's text replaced by another (the create statement); closes the grid.
    void setTrackQueryText(const QString &text);

private:
    DbConnection &m_connection;
    TrackResultModel &m_model;
    DbStatement m_trackQuery;
    DbStatement m_countQuery;
    qint64 m_trackCount = 0;
    QString m_criteriaText;
    AccessRecorder m_accessRecorder;
};
