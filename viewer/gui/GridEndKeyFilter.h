#pragma once

#include <QObject>

class TrackResultModel;

// Ctrl+End (and Ctrl+Shift+End) in the grid go to the true last row: the rest of the result is read
// before the view moves, so the key never stops at the rows read so far.
class GridEndKeyFilter : public QObject
{
    Q_OBJECT
public:
    GridEndKeyFilter(TrackResultModel &model, QObject *parent) : QObject(parent), m_model(model) {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    TrackResultModel &m_model;
};
