#pragma once

#include "shared/tracking/DbConnection.h"
#include "viewer/audit/AccessAudit.h"
#include "viewer/content/MessageContentDisplay.h"
#include "viewer/reports/PreparedReport.h"
#include "viewer/search/SearchCriteria.h"
#include "viewer/search/TrackResultModel.h"
#include "viewer/search/TrackSearch.h"
#include "viewer/app/ViewerRunValues.h"
#include "viewer/gui/MessageBoxes.h"

#include <QMainWindow>
#include <QStringList>

#include <array>
#include <functional>
#include <memory>

class CellSelectionText;
class QAction;
class QCheckBox;
class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QPushButton;
class QTabWidget;
class QTableView;
class QTimeEdit;
class ViewerMessageRelay;

// What the main window needs from outside: the program folder, the command line's positional
// arguments, and the two places where it reaches the user's desktop (message boxes, and the
// renderer or the desktop's "open"), which tests replace.
struct TrackFormOptions
{
    QString appPath;
    QStringList arguments;
    std::shared_ptr<MessageBoxes> messageBoxes; // default: real message boxes
    std::shared_ptr<ContentLauncher> launcher;  // default: detached renderer, the desktop's "open"
};

// The viewer's main window: the search panel, the result grid, the status bar, the connection and
// administration commands, and the run's state (SortOrder, TempFiles, the run values).
class TQZTrackForm : public QMainWindow
{
    Q_OBJECT
public:
    static constexpr const char *ApplicationTitle = "Orvane Tracker";

    explicit TQZTrackForm(TrackFormOptions options, QWidget *parent = nullptr);
    ~TQZTrackForm() override;

    // Start-up: version, run values, pickers, connection file or question, connect and probe,
    // saved criteria. Runs no query.
    void FormCreate();

    // The criteria panel as a value, and back.
    SearchCriteria criteria() const;
    void setCriteria(const SearchCriteria &criteria);
    const QString &SortOrder() const { return m_SortOrder; }
    void setSortOrder(const QString &sortOrder) { m_SortOrder = sortOrder; }

    const ViewerRunValues &runValues() const { return m_run; }
    DbConnection &connection() { return m_connection; }
    TrackSearch &trackSearch() { return m_search; }
    TrackResultModel &trackModel() { return m_model; }
    QTableView *grid() const { return m_ContentDBGrid; }
    // The grid's current row, -1 when there is none.
    int currentRow() const;
    // Files deleted when the window closes.
    QStringList &TempFiles() { return m_TempFiles; }

    QTabWidget *pages() const { return m_pages; }
    QWidget *reportTab() const { return m_reportTab; }
    QLabel *reportPreviewArea() const { return m_reportPreview; }
    MessageBoxes &messageBoxes() { return *m_boxes; }

    // A plain box with the application's title and OK, as the commands show their messages.
    void showMessage(const QString &text);
    // The standard error box: an error no command caught, with its own message.
    void showStandardError(const QString &text);
    // Runs a command; an error it does not catch reaches the standard error box.
    void runCommand(const std::function<void()> &command);

    // Which report the "Report" tab shows (see ReportKind), the page count of the report last
    // prepared, and the page the preview shows (0 while there is none).
    int ShownReport() const { return m_ShownReport; }
    int ReportPageCount() const { return m_ReportPageCount; }
    int shownReportPage() const { return m_reportPage; }
    // Writes the shown report as PDF; throws std::exception on failure, does nothing without one.
    void saveReportPdfTo(const QString &path);

    // Writes the grid's rows as CSV to `path`; throws std::exception on failure.
    void exportCsvTo(const QString &path);
    // Writes the audit row of an action once the grid's read is over (see TrackingCommands.cpp).
    void recordAccess(const char *action, const QString &subject);
    // The selected cells as tab-separated lines, rows in grid order.
    QString selectedCellsText() const;
    // A copy of more rows than this asks first.
    static constexpr qsizetype LargeCopyRows = 100000;

public slots:
    void RunTrackQuery();
    qint64 GetTrackCount();
    void UpdateStatusBar();
    void LoadSearchSettings();
    void SaveSearchSettings();
    void ContentDBGridTitleClick(int column);
    void GridPopUpPopup();

    void Connect1Click();
    void Disconnect1Click();
    void DataBase1Click();
    void Exit1Click();
    void agasManaged1Click();
    void CreateblankTrackTable1Click();
    void ExportCsv1Click();
    void copySelectedCells();

    // "&Display Result": the current row's content, handed to the renderer or the desktop.
    void OpenMessage1Click();
    // Printed reports.
    void ReportButtonClick();
    void WaitingBypractice1Click();
    void UndeliveredResults1Click();
    void PreviewPrevClick();
    void PreviewNextClick();
    void Button1Click();
    void SaveReportPdfClick();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void FormClose();
    void buildMenus();
    QWidget *buildSearchTab();
    QWidget *buildCriteriaPanel();
    QWidget *buildReportTab();
    QWidget *buildStatusBar();
    void setPickersForStartup(const QDateTime &now);
    bool askToConfigureConnection();
    void connectAndProbe();
    void LoadGridColumnWidths();
    void SaveGridColumnWidths();
    void applyColumnWidths();
    void activateReportTab();
    void showReport(std::unique_ptr<PreparedReport> report);
    void showReportPage(int pageNumber);
    void dropTrackReport();
    QString selectedCellsText(const CellSelectionText &selection) const;
    // What an audit row of the shown report's print or PDF names.
    QString reportAuditSubject() const;

    TrackFormOptions m_options;
    std::shared_ptr<MessageBoxes> m_boxes;
    ViewerRunValues m_run;
    DbConnection m_connection;
    TrackResultModel m_model;
    TrackSearch m_search;
    // Every display, tag and export is recorded here before it runs; a refusal stops it.
    AccessAudit m_audit;
    QString m_SortOrder;
    QStringList m_TempFiles;
    std::vector<int> m_columnWidths;
    int m_ShownReport = 0;
    int m_ReportPageCount = 0;
    int m_reportPage = 0;
    // Opened on first use of "&Undelivered Results"; later uses show the same rows.
    std::shared_ptr<const ReportMemoryDataSource> m_undeliveredSummary;
    // The report the "Report" tab shows; reads the grid's rows, so it goes before they change.
    std::unique_ptr<PreparedReport> m_report;
    // Made at start-up, once the folders are known; writes its files onto m_TempFiles.
    std::unique_ptr<MessageContentDisplay> m_contentDisplay;
    ViewerMessageRelay *m_relay = nullptr;

    QTabWidget *m_pages = nullptr;
    QWidget *m_searchTab = nullptr;
    QWidget *m_reportTab = nullptr;
    QLabel *m_reportPreview = nullptr;
    QLabel *m_versionLabel = nullptr;
    std::array<QLabel *, 3> m_statusPanels{};

    QCheckBox *m_NameFilterCheck = nullptr;
    QLineEdit *m_rsNameFilterEdit = nullptr;
    QCheckBox *m_RequestIDCheck = nullptr;
    QLineEdit *m_rsRequestEdit = nullptr;
    QCheckBox *m_DOBCheck = nullptr;
    QDateEdit *m_rsDOBPicker = nullptr;
    QCheckBox *m_MailboxCheck = nullptr;
    QLineEdit *m_rsMailboxEdit = nullptr;
    QCheckBox *m_AddresseeCheck = nullptr;
    QLineEdit *m_rsAddressEdit = nullptr;
    QCheckBox *m_RequestingDocCheck = nullptr;
    QLineEdit *m_rsREqDocEdit = nullptr;
    QCheckBox *m_FromDateCheck = nullptr;
    QDateEdit *m_rsFromDatePicker = nullptr;
    QTimeEdit *m_FromTimePicker = nullptr;
    QCheckBox *m_ToDateCheck = nullptr;
    QDateEdit *m_rstoDatePicker = nullptr;
    QTimeEdit *m_ToTimePicker = nullptr;
    QCheckBox *m_ReqDateCheck = nullptr;
    QDateEdit *m_rsReqDatePicker = nullptr;
    QComboBox *m_StatusFilter = nullptr;
    QCheckBox *m_FileTypeCheck = nullptr;
    QComboBox *m_FileTypeCombo = nullptr;
    QCheckBox *m_cbxRunNumber = nullptr;
    QLineEdit *m_txtRunNumber = nullptr;
    QPushButton *m_PerformQueryButton = nullptr;

    QTableView *m_ContentDBGrid = nullptr;
    QProgressBar *m_readProgress = nullptr;
    QMenu *m_GridPopUp = nullptr;
    QPushButton *m_SaveReportPdf = nullptr;
    QAction *m_OpenMessage1 = nullptr;
    QAction *m_agasManaged1 = nullptr;
    QMenu *m_DataBase1 = nullptr;
    QAction *m_Connect1 = nullptr;
    QAction *m_Disconnect1 = nullptr;
    QAction *m_CreateblankTrackTable1 = nullptr;
};
