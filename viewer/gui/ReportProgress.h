#pragma once

#include <QString>

#include <memory>

class QProgressDialog;
class QWidget;

// Progress of long report work in the window: a progress dialog appears once the work is larger
// than a few hundred steps, and events are processed on each call so the window keeps repainting.
class ReportProgress
{
public:
    static constexpr int ShownAbove = 300;

    ReportProgress(QWidget *parent, QString label);
    ~ReportProgress();
    ReportProgress(const ReportProgress &) = delete;
    ReportProgress &operator=(const ReportProgress &) = delete;

    void update(int done, int total);
    // Whether the dialog has been shown during this work.
    bool wasShown() const { return m_dialog != nullptr; }

private:
    QWidget *m_parent;
    QString m_label;
    std::unique_ptr<QProgressDialog> m_dialog;
};
