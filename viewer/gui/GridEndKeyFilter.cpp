#include "viewer/gui/GridEndKeyFilter.h"

#include "viewer/search/TrackResultModel.h"

#include <QKeyEvent>

bool GridEndKeyFilter::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->matches(QKeySequence::MoveToEndOfDocument) ||
            key->matches(QKeySequence::SelectEndOfDocument))
            m_model.fetchAll();
    }
    return QObject::eventFilter(watched, event);
}
