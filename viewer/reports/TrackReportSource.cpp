#include "viewer/reports/TrackReportSource.h"

#include "viewer/search/TrackResultModel.h"

TrackReportSource::TrackReportSource(TrackResultModel &model) : m_model(model)
{
    m_model.fetchAll();
}

int TrackReportSource::rowCount() const
{
    return m_model.rowCount();
}

int TrackReportSource::fieldIndex(const QString &name) const
{
    const auto field = trackFieldNamed(name);
    return field ? int(*field) : -1;
}

QString TrackReportSource::displayText(int row, int field) const
{
    return m_model.displayText(row, TrackField(field));
}
