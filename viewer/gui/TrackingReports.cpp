#include "viewer/gui/Tracking.h"

#include "viewer/reports/ReportChoice.h"
#include "viewer/reports/ReportMemoryDataSource.h"
#include "viewer/reports/ReportOutput.h"
#include "viewer/gui/ReportProgress.h"

#include <QFileDialog>
#include <QLabel>
#include <QPixmap>
#include <QPrintDialog>
#include <QPrinter>
#include <QTabWidget>

void TQZTrackForm::ReportButtonClick()
{
    runCommand([this] {
        const qint64 count = GetTrackCount();
        if (ReportChoice::needsLargeReportWarning(count)) {
            const QMessageBox::StandardButton answer = m_boxes->show(
                {ReportChoice::largeReportWarningCaption(), ReportChoice::largeReportWarningText(count),
                 QMessageBox::Warning, QMessageBox::Ok | QMessageBox::Cancel});
            if (answer != QMessageBox::Ok)
                return;
        }
        activateReportTab();
        dropTrackReport();
        ReportProgress progress(this, QStringLiteral("Preparing the report..."));
        showReport(PreparedReport::forSearch(m_model, m_SortOrder, m_search.CriteriaText(),
                                             [&](int done, int total) { progress.update(done, total); }));
    });
}

void TQZTrackForm::UndeliveredResults1Click()
{
    runCommand([this] {
        if (!m_undeliveredSummary)
            m_undeliveredSummary = fetchUndeliveredSummary(m_connection);
        activateReportTab();
        ReportProgress progress(this, QStringLiteral("Preparing the report..."));
        showReport(PreparedReport::forSummary(m_undeliveredSummary,
                                              [&](int done, int total) { progress.update(done, total); }));
    });
}

void TQZTrackForm::WaitingBypractice1Click()
{
    m_SortOrder = ReportChoice::notDeliveredSortOrder(m_SortOrder);
    SearchCriteria values = criteria();
    values.fromDate = QDate::currentDate().addDays(-30);
    values.fromTime = QTime(0, 0);
    values.statusIndex = 3;
    values.fromDateChecked = true;
    setCriteria(values);
    RunTrackQuery();
}

void TQZTrackForm::activateReportTab()
{
    m_pages->setTabVisible(m_pages->indexOf(m_reportTab), true);
    m_pages->setCurrentWidget(m_reportTab);
}

void TQZTrackForm::showReport(std::unique_ptr<PreparedReport> report)
{
    m_report = std::move(report);
    m_ReportPageCount = m_report->pageCount();
    m_ShownReport = int(m_report->kind());
    showReportPage(1);
}

void TQZTrackForm::showReportPage(int pageNumber)
{
    m_reportPage = pageNumber;
    m_reportPreview->setPixmap(
        QPixmap::fromImage(ReportOutput::renderPage(m_report->engine(), pageNumber, 0.5)));
    // update(), not repaint(): this can run inside the progress dialog's event processing, where an
    // immediate paint of another widget is a recursive repaint.
    m_reportPreview->update();
}

void TQZTrackForm::dropTrackReport()
{
    if (m_report && m_report->kind() != ReportKind::Undelivered) {
        m_report.reset();
        m_reportPage = 0;
        m_reportPreview->clear();
    }
}

QString TQZTrackForm::reportAuditSubject() const
{
    // The summary covers every practice; the other reports print the last search's rows.
    return m_report->kind() == ReportKind::Undelivered ? QString::fromLatin1(AuditAction::UndeliveredSummary)
                                                       : m_search.CriteriaText();
}

void TQZTrackForm::PreviewPrevClick()
{
    if (m_report && m_reportPage > 1)
        runCommand([this] { showReportPage(m_reportPage - 1); });
}

void TQZTrackForm::PreviewNextClick()
{
    if (m_report && m_reportPage < m_ReportPageCount)
        runCommand([this] { showReportPage(m_reportPage + 1); });
}

void TQZTrackForm::Button1Click()
{
    if (!m_report)
        return;
    QPrinter printer(QPrinter::HighResolution);
    QPrintDialog dialog(&printer, this);
    dialog.setMinMax(1, m_ReportPageCount);
    if (dialog.exec() != QDialog::Accepted)
        return;
    runCommand([&] {
        recordAccess(AuditAction::PrintReport, reportAuditSubject());
        ReportProgress progress(this, QStringLiteral("Printing..."));
        ReportOutput::print(m_report->engine(), printer,
                            [&](int done, int total) { progress.update(done, total); });
    });
}

void TQZTrackForm::saveReportPdfTo(const QString &path)
{
    if (!m_report)
        return;
    recordAccess(AuditAction::ReportPdf, reportAuditSubject());
    ReportProgress progress(this, QStringLiteral("Writing the PDF..."));
    ReportOutput::writePdf(m_report->engine(), path,
                           [&](int done, int total) { progress.update(done, total); });
}

void TQZTrackForm::SaveReportPdfClick()
{
    if (!m_report)
        return;
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Save as PDF"), QString(),
                                                      QStringLiteral("PDF files (*.pdf);;All files (*)"));
    if (path.isEmpty())
        return;
    runCommand([&] { saveReportPdfTo(path); });
}
