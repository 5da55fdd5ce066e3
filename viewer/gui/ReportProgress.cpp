#include "viewer/gui/ReportProgress.h"

#include <QProgressDialog>

ReportProgress::ReportProgress(QWidget *parent, QString label) : m_parent(parent), m_label(std::move(label))
{}

ReportProgress::~ReportProgress() = default;

void ReportProgress::update(int done, int total)
{
    if (total <= ShownAbove)
        return;
    if (!m_dialog) {
        // No cancel button: the engine cannot stop half-way through a report.
        m_dialog = std::make_unique<QProgressDialog>(m_label, QString(), 0, total, m_parent);
        m_dialog->setWindowModality(Qt::WindowModal);
        m_dialog->setMinimumDuration(0);
    }
    m_dialog->setMaximum(total);
    // A window-modal dialog processes events in setValue() itself; a second round here could start a
    // paint while the dialog's own is still in progress.
    m_dialog->setValue(done);
}
