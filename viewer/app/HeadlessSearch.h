#pragma once

#include <QDateTime>

#include <functional>

class QTextStream;
class TrackResultModel;
class TrackSearch;
struct ViewerRunValues;

// The viewer without a window: connects with the run values, restores the saved criteria from the
// per-user store, runs RunTrackQuery and hands the open result to `write` (which throws
// std::exception on failure). Returns the exit status: 0, or 1 after writing the reason ("No
// criteria Selected", a connection or database error, a write error) to `errors`.
//
//     runSavedSearch(values, QDateTime::currentDateTime(), errors,
//                    [&](TrackResultModel &model, const TrackSearch &) { writeTrackCsv(model, file); });
using SavedSearchWriter = std::function<void(TrackResultModel &model, const TrackSearch &search)>;
int runSavedSearch(const ViewerRunValues &values, const QDateTime &now, QTextStream &errors,
                   const SavedSearchWriter &write);
