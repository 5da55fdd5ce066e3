#include "viewer/gui/Tracking.h"

#include "shared/tracking/DbStatement.h"
#include "shared/tracking/TrackingSchema.h"
#include "shared/text/WallClock.h"
#include "viewer/search/CsvWriter.h"
#include "viewer/search/SpreadsheetText.h"
#include "viewer/search/TitleClickSortOrder.h"
#include "viewer/gui/CellSelectionText.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHeaderView>
#include <QSaveFile>
#include <QTabWidget>
#include <QTableView>

#include <QProgressBar>

#include <algorithm>
#include <limits>
#include <stdexcept>
#include <vector>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace {

void releaseFreedMemory()
{
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

} // namespace

void TQZTrackForm::RunTrackQuery()
{
    dropTrackReport();
    m_pages->setTabVisible(m_pages->indexOf(m_reportTab), false);
    const TrackSearch::Result result = m_search.RunTrackQuery(criteria(), m_SortOrder, WallClock::now());
    if (result.outcome == TrackSearch::Outcome::NoCriteria)
        showMessage(QStringLiteral("No criteria Selected"));
    else if (result.outcome == TrackSearch::Outcome::OpenFailed)
        showMessage(QStringLiteral("Set Active failed with ") + result.error);
    else if (result.outcome == TrackSearch::Outcome::Refused)
        showStandardError(result.error);
    m_readProgress->setRange(0, int(std::clamp<qint64>(m_search.TrackCount(), m_model.rowCount(),
                                                       std::numeric_limits<int>::max())));
    m_readProgress->setValue(m_model.rowCount());
    UpdateStatusBar();
}

qint64 TQZTrackForm::GetTrackCount()
{
    return m_search.GetTrackCount();
}

void TQZTrackForm::ContentDBGridTitleClick(int column)
{
    const QString title = m_model.headerData(column, Qt::Horizontal).toString();
    const std::optional<QString> next = sortOrderAfterTitleClick(title, m_SortOrder);
    if (!next)
        return;
    m_SortOrder = *next;
    RunTrackQuery();
}

int TQZTrackForm::currentRow() const
{
    const QModelIndex current = m_ContentDBGrid->currentIndex();
    return current.isValid() && current.row() < m_model.rowCount() ? current.row() : -1;
}

void TQZTrackForm::GridPopUpPopup()
{
    const int row = currentRow();
    bool undeliverable = false;
    if (row >= 0) {
        const QVariant delivery = m_model.value(row, TrackField::QZDeliveryTime);
        undeliverable = !delivery.isNull() && isSentinel(delivery.toDateTime(), Sentinel::Undeliverable);
    }
    m_agasManaged1->setVisible(undeliverable);
}

void TQZTrackForm::agasManaged1Click()
{
    runCommand([this] {
        const int row = currentRow();
        QString messageId = row >= 0 ? m_model.value(row, TrackField::MsgID).toString() : QString();
        if (messageId.isNull()) // a null column is keyed by the empty text, so no null row changes
            messageId = QString(QLatin1String(""));
        // An open statement of the grid would keep its read snapshot, and the update could not write.
        m_model.cancelRead();
        m_audit.carryOut(AuditAction::TagAsManaged, messageId,
                         {[&] {
                              DbStatement tag(m_connection, m_connection.dialect().tagAsManagedSql());
                              tag.bind(QStringLiteral("QMessageID"), ParamType::Text, messageId);
                              return rowsOutcome(tag.execute(), "changed");
                          },
                          {},
                          true});
        RunTrackQuery();
    });
}

void TQZTrackForm::CreateblankTrackTable1Click()
{
    runCommand([this] {
        if (!m_connection.isOpen()) {
            // The one place that may create a missing database file; a closed connection to an
            // existing database is left alone.
            if (!m_connection.databaseFileMissing())
                return;
            m_connection.openCreating(m_connection.connectionString());
        }
        m_search.setTrackQueryText(m_connection.dialect().createTrackingSql());
        DbStatement create(m_connection, m_search.TrackQuery().text());
        create.execute();
        m_audit.ensureTable();
        m_CreateblankTrackTable1->setEnabled(false);
    });
}

// An audit row is a write: while the grid's statement is open it keeps an old read snapshot, and once
// the loader has written since the search the insert would fail with "database is locked".
void TQZTrackForm::recordAccess(const char *action, const QString &subject)
{
    m_model.fetchAll();
    m_audit.record(action, subject);
}

void TQZTrackForm::exportCsvTo(const QString &path)
{
    // The grid keeps its snapshot: the rest is read into it, then every row written, and no read is
    // left open when the audit row is.
    m_model.fetchAll();
    QSaveFile file(path);
    m_audit.carryOut(AuditAction::ExportCsv, m_search.CriteriaText(),
                     {[&] { return rowsOutcome(writeTrackCsvFile(m_model, file), "written"); },
                      [&] { commitCsvFile(file); }});
}

void TQZTrackForm::ExportCsv1Click()
{
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Export to CSV"), QString(),
                                                      QStringLiteral("CSV files (*.csv);;All files (*)"));
    if (path.isEmpty())
        return;
    runCommand([&] { exportCsvTo(path); });
}

QString TQZTrackForm::selectedCellsText() const
{
    return selectedCellsText(CellSelectionText(m_ContentDBGrid->selectionModel()->selection()));
}

QString TQZTrackForm::selectedCellsText(const CellSelectionText &selection) const
{
    // Rows in grid order, cells of a row in the order the columns stand on screen.
    const QHeaderView *header = m_ContentDBGrid->horizontalHeader();
    std::vector<int> visualOrder;
    for (int visual = 0; visual < header->count(); ++visual)
        visualOrder.push_back(header->logicalIndex(visual));
    return selection.text(visualOrder, [this](int row, int column) {
        return spreadsheetText(m_model.cellText(row, column));
    });
}

void TQZTrackForm::copySelectedCells()
{
    const CellSelectionText selection(m_ContentDBGrid->selectionModel()->selection());
    if (selection.rowCount() > LargeCopyRows) {
        const QMessageBox::StandardButton answer = m_boxes->show(
            {QLatin1String(ApplicationTitle),
             QStringLiteral("Copy %1 rows to the clipboard?\r\nA copy this large takes a while and holds "
                            "every row in memory until the clipboard is cleared.")
                 .arg(selection.rowCount()),
             QMessageBox::Question, QMessageBox::Ok | QMessageBox::Cancel});
        if (answer != QMessageBox::Ok)
            return;
    }
    {
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        const QString text = selectedCellsText(selection);
        if (!text.isEmpty())
            QApplication::clipboard()->setText(text);
        QGuiApplication::restoreOverrideCursor();
    }
    // The cell texts were freed as they were appended; give the freed pages back to the system, or
    // the process keeps the peak of the copy for the rest of its run.
    releaseFreedMemory();
}

void TQZTrackForm::OpenMessage1Click()
{
    runCommand([this] {
        const int row = currentRow();
        const auto text = [&](TrackField field) {
            return row >= 0 ? m_model.value(row, field).toString() : QString();
        };
        if (row >= 0)
            recordAccess(AuditAction::DisplayResult, text(TrackField::MsgID));
        std::optional<QDateTime> delivery;
        if (row >= 0) {
            const QVariant value = m_model.value(row, TrackField::QZDeliveryTime);
            if (!value.isNull())
                delivery = value.toDateTime();
        }
        const MessageContentOutcome outcome =
            m_contentDisplay->DisplayResult({text(TrackField::MsgID), text(TrackField::Filename),
                                             text(TrackField::PracID), deliveryStateOf(delivery)});
        if (!outcome.Message.isEmpty())
            showMessage(outcome.Message);
    });
}
