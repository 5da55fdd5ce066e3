#pragma once

#include "viewer/reports/ReportDataSource.h"

class TrackResultModel;

// The rows of the search for the report engine: every row of the result, each field as the grid
// shows it. Reading the whole result happens once, when the source is made.
class TrackReportSource : public ReportDataSource
{
public:
    explicit TrackReportSource(TrackResultModel &model);

    int rowCount() const override;
    int fieldIndex(const QString &name) const override;
    QString displayText(int row, int field) const override;

private:
    TrackResultModel &m_model;
};
