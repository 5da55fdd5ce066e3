#include "viewer/app/HeadlessSearch.h"

#include "shared/tracking/DbConnection.h"
#include "shared/db/DbError.h"
#include "viewer/app/HeadlessConnection.h"
#include "viewer/app/ViewerRunValues.h"
#include "viewer/search/SearchSettingsStore.h"
#include "viewer/search/TrackResultModel.h"
#include "viewer/search/TrackSearch.h"

#include <QTextStream>

#include <exception>

int runSavedSearch(const ViewerRunValues &values, const QDateTime &now, QTextStream &errors,
                   const SavedSearchWriter &write)
{
    DbConnection connection(values.AppPath, QStringLiteral("SQLNCLI.1"));
    if (!openHeadlessConnection(connection, values, errors))
        return 1;

    SearchCriteria criteria = SearchCriteria::atStartup(now.date());
    QString sortOrder = QString::fromLatin1(InitialSortOrder);
    SearchSettingsStore().load().applyTo(criteria, sortOrder, now);

    TrackResultModel model;
    TrackSearch search(connection, model);
    const TrackSearch::Result result = search.RunTrackQuery(criteria, sortOrder, now);
    if (result.outcome == TrackSearch::Outcome::NoCriteria) {
        errors << "No criteria Selected" << Qt::endl;
        return 1;
    }
    if (result.outcome == TrackSearch::Outcome::OpenFailed) {
        errors << "Set Active failed with " << result.error << Qt::endl;
        return 1;
    }
    try {
        write(model, search);
    } catch (const std::exception &error) {
        errors << QString::fromStdString(error.what()) << Qt::endl;
        return 1;
    }
    return 0;
}
