#include "viewer/gui/Tracking.h"
#include "viewer/gui/GridEndKeyFilter.h"

#include "viewer/content/ContentLauncherDesktop.h"

#include "shared/db/DbError.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QShortcut>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableView>
#include <QTimeEdit>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr int CriteriaPanelHeight = 113;
constexpr int ReportStripHeight = 41;

template <typename T> T *named(T *widget, const char *name)
{
    widget->setObjectName(QLatin1String(name));
    return widget;
}

QDateEdit *datePicker(const char *name)
{
    auto *picker = named(new QDateEdit, name);
    picker->setDisplayFormat(QStringLiteral("dd/MM/yyyy"));
    picker->setCalendarPopup(true);
    return picker;
}

QTimeEdit *timePicker(const char *name)
{
    auto *picker = named(new QTimeEdit, name);
    picker->setDisplayFormat(QStringLiteral("HH:mm:ss"));
    return picker;
}

// A status bar panel at least as wide as its set width, wider when its text needs it: a row count or
// a data source longer than the width is shown whole, never cut.
class StatusPanel : public QLabel
{
public:
    StatusPanel(const QString &text, int leastWidth) : QLabel(text), m_leastWidth(leastWidth)
    {
        setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Preferred);
    }
    QSize sizeHint() const override { return atLeastLeastWidth(QLabel::sizeHint()); }
    QSize minimumSizeHint() const override { return atLeastLeastWidth(QLabel::minimumSizeHint()); }

private:
    QSize atLeastLeastWidth(QSize size) const { return {std::max(size.width(), m_leastWidth), size.height()}; }

    int m_leastWidth;
};

} // namespace

TQZTrackForm::TQZTrackForm(TrackFormOptions options, QWidget *parent)
    : QMainWindow(parent), m_options(std::move(options)), m_boxes(m_options.messageBoxes),
      m_connection(m_options.appPath, QStringLiteral("SQLNCLI.1")), m_search(m_connection, m_model),
      m_audit(m_connection, AuditIdentity::ofThisProcess()),
      m_SortOrder(QString::fromLatin1(InitialSortOrder))
{
    setObjectName(QStringLiteral("QZTrackForm"));
    if (!m_boxes)
        m_boxes = std::make_shared<QtMessageBoxes>(this);
    if (!m_options.launcher)
        m_options.launcher = std::make_shared<ContentLauncherDesktop>();
    // A search shows patient rows: it is an access, recorded with what it asked for and found.
    m_search.setAccessRecorder([this](const TrackSearch &search) {
        m_audit.record(AuditAction::Search, search.CriteriaText(), rowsOutcome(search.TrackCount(), "found"));
    });

    buildMenus();
    m_pages = named(new QTabWidget, "PageControl1");
    m_searchTab = buildSearchTab();
    m_pages->addTab(m_searchTab, QStringLiteral("&Search"));
    m_pages->addTab(named(new QWidget, "ReportLayoutTab"), QStringLiteral("Report layout"));
    m_reportTab = buildReportTab();
    m_pages->addTab(m_reportTab, QStringLiteral("Report"));
    m_pages->addTab(named(new QWidget, "PracIDLayoutTab"), QStringLiteral("PracIDLayout"));
    m_pages->addTab(named(new QWidget, "UndeliveredLayoutTab"), QStringLiteral("Results waiting Delivery"));
    setCentralWidget(m_pages);

    resize(970, 643);
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

TQZTrackForm::~TQZTrackForm()
{
    // The grid's query must go before the connection it runs on.
    m_search.closeTrackQuery();
}

void TQZTrackForm::buildMenus()
{
    QMenu *file = menuBar()->addMenu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("File1"));
    QAction *exportCsv =
        file->addAction(QStringLiteral("Export to &CSV..."), this, &TQZTrackForm::ExportCsv1Click);
    exportCsv->setObjectName(QStringLiteral("ExportCsv1"));
    file->addSeparator();
    file->addAction(QStringLiteral("&Exit"), this, &TQZTrackForm::Exit1Click)
        ->setObjectName(QStringLiteral("Exit1"));

    m_DataBase1 = menuBar()->addMenu(QStringLiteral("&DataBase"));
    m_DataBase1->setObjectName(QStringLiteral("DataBase1"));
    connect(m_DataBase1, &QMenu::aboutToShow, this, &TQZTrackForm::DataBase1Click);
    m_Disconnect1 =
        m_DataBase1->addAction(QStringLiteral("&Disconnect"), this, &TQZTrackForm::Disconnect1Click);
    m_Disconnect1->setObjectName(QStringLiteral("Disconnect1"));
    m_Connect1 = m_DataBase1->addAction(QStringLiteral("&Connect"), this, &TQZTrackForm::Connect1Click);
    m_Connect1->setObjectName(QStringLiteral("Connect1"));
    m_CreateblankTrackTable1 = m_DataBase1->addAction(QStringLiteral("Create &blank"), this,
                                                      &TQZTrackForm::CreateblankTrackTable1Click);
    m_CreateblankTrackTable1->setObjectName(QStringLiteral("CreateblankTrackTable1"));
    m_CreateblankTrackTable1->setEnabled(false);

    QMenu *queries = menuBar()->addMenu(QStringLiteral("&Queries"));
    queries->setObjectName(QStringLiteral("Queries1"));
    queries
        ->addAction(QStringLiteral("&Not Delivered by practice"), this,
                    &TQZTrackForm::WaitingBypractice1Click)
        ->setObjectName(QStringLiteral("WaitingBypractice1"));
    queries->addAction(QStringLiteral("&Undelivered Results"), this, &TQZTrackForm::UndeliveredResults1Click)
        ->setObjectName(QStringLiteral("UndeliveredResults1"));
}

QWidget *TQZTrackForm::buildCriteriaPanel()
{
    auto *panel = named(new QWidget, "CriteriaPanel");
    panel->setFixedHeight(CriteriaPanelHeight);
    auto *row = new QHBoxLayout(panel);
    row->setContentsMargins(4, 3, 4, 3);
    auto *grid = new QGridLayout;
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(3);
    row->addLayout(grid, 1);

    m_NameFilterCheck = named(new QCheckBox(QStringLiteral("Patient")), "NameFilterCheck");
    m_rsNameFilterEdit = named(new QLineEdit, "rsNameFilterEdit");
    m_RequestIDCheck = named(new QCheckBox(QStringLiteral("Lab Ref")), "RequestIDCheck");
    m_rsRequestEdit = named(new QLineEdit, "rsRequestEdit");
    m_DOBCheck = named(new QCheckBox(QStringLiteral("DOB")), "DOBCheck");
    m_rsDOBPicker = datePicker("rsDOBPicker");
    m_rsDOBPicker->setDate(QDate(2000, 1, 1));
    m_MailboxCheck = named(new QCheckBox(QStringLiteral("Mailbox (pracid)")), "MailboxCheck");
    m_rsMailboxEdit = named(new QLineEdit, "rsMailboxEdit");
    m_AddresseeCheck = named(new QCheckBox(QStringLiteral("Addressee")), "AddresseeCheck");
    m_rsAddressEdit = named(new QLineEdit, "rsAddressEdit");
    m_RequestingDocCheck = named(new QCheckBox(QStringLiteral("Requestor")), "RequestingDocCheck");
    m_rsREqDocEdit = named(new QLineEdit, "rsREqDocEdit");
    m_FromDateCheck = named(new QCheckBox(QStringLiteral("From Date")), "FromDateCheck");
    m_rsFromDatePicker = datePicker("rsFromDatePicker");
    m_FromTimePicker = timePicker("FromTimePicker");
    m_ToDateCheck = named(new QCheckBox(QStringLiteral("To Date")), "ToDateCheck");
    m_rstoDatePicker = datePicker("rstoDatePicker");
    m_ToTimePicker = timePicker("ToTimePicker");
    m_ReqDateCheck = named(new QCheckBox(QStringLiteral("Req Date")), "ReqDateCheck");
    m_rsReqDatePicker = datePicker("rsReqDatePicker");
    m_StatusFilter = named(new QComboBox, "StatusFilter");
    m_StatusFilter->addItems(statusFilterEntries());
    m_StatusFilter->setCurrentIndex(-1);
    m_FileTypeCheck = named(new QCheckBox(QStringLiteral("File Type")), "FileTypeCheck");
    m_FileTypeCombo = named(new QComboBox, "FileTypeCombo");
    m_FileTypeCombo->setEditable(true);
    m_FileTypeCombo->addItems({QStringLiteral("HL7"), QStringLiteral("PIT"), QStringLiteral("JPG"),
                               QStringLiteral("BMP"), QStringLiteral("EXE"), QStringLiteral("CSV"),
                               QStringLiteral("RTF"), QStringLiteral("TIF"), QStringLiteral("PNG"),
                               QStringLiteral("OFFICE"), QString()});
    m_FileTypeCombo->setCurrentIndex(-1);
    m_FileTypeCombo->setEditText(QString());
    m_cbxRunNumber = named(new QCheckBox(QStringLiteral("Run Number")), "cbxRunNumber");
    m_txtRunNumber = named(new QLineEdit, "txtRunNumber");

    const auto pair = [](QWidget *first, QWidget *second) {
        auto *box = new QWidget;
        auto *layout = new QHBoxLayout(box);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(2);
        layout->addWidget(first, 1);
        layout->addWidget(second, 1);
        return box;
    };
    const QList<QList<QWidget *>> rows = {
        {m_NameFilterCheck, m_rsNameFilterEdit, m_RequestIDCheck, m_rsRequestEdit, m_DOBCheck, m_rsDOBPicker},
        {m_MailboxCheck, m_rsMailboxEdit, m_AddresseeCheck, m_rsAddressEdit, m_RequestingDocCheck,
         m_rsREqDocEdit},
        {m_FromDateCheck, pair(m_rsFromDatePicker, m_FromTimePicker), m_ToDateCheck,
         pair(m_rstoDatePicker, m_ToTimePicker), m_ReqDateCheck, m_rsReqDatePicker},
        {named(new QLabel(QStringLiteral("Delivery Status")), "StatusLabel"), m_StatusFilter, m_FileTypeCheck,
         m_FileTypeCombo, m_cbxRunNumber, m_txtRunNumber},
    };
    // Value controls share the space left by the captions and never push the window past its width.
    for (QWidget *value : std::initializer_list<QWidget *>{
             m_rsNameFilterEdit, m_rsRequestEdit, m_rsDOBPicker, m_rsMailboxEdit, m_rsAddressEdit,
             m_rsREqDocEdit, m_rsFromDatePicker, m_FromTimePicker, m_rstoDatePicker, m_ToTimePicker,
             m_rsReqDatePicker, m_StatusFilter, m_FileTypeCombo, m_txtRunNumber}) {
        value->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
        value->setMinimumWidth(60);
    }
    for (QDateEdit *picker : {m_rsDOBPicker, m_rsFromDatePicker, m_rstoDatePicker, m_rsReqDatePicker})
        picker->setMinimumWidth(96);
    for (QTimeEdit *picker : {m_FromTimePicker, m_ToTimePicker}) {
        picker->setButtonSymbols(QAbstractSpinBox::NoButtons);
        picker->setMinimumWidth(62);
    }
    for (int r = 0; r < rows.size(); ++r) {
        for (int c = 0; c < rows[r].size(); ++c)
            grid->addWidget(rows[r][c], r, c);
    }
    for (int c = 1; c < 6; c += 2)
        grid->setColumnStretch(c, 1);

    auto *buttons = new QVBoxLayout;
    buttons->setSpacing(3);
    m_PerformQueryButton = named(new QPushButton(QStringLiteral("Perform Query")), "PerformQueryButton");
    m_PerformQueryButton->setDefault(true);
    connect(m_PerformQueryButton, &QPushButton::clicked, this, &TQZTrackForm::RunTrackQuery);
    auto *display = named(new QPushButton(QStringLiteral("&Display Result")), "DisplayResultButton");
    connect(display, &QPushButton::clicked, this, &TQZTrackForm::OpenMessage1Click);
    auto *report = named(new QPushButton(QStringLiteral("Search &Report")), "ReportButton");
    connect(report, &QPushButton::clicked, this, &TQZTrackForm::ReportButtonClick);
    buttons->addWidget(m_PerformQueryButton);
    buttons->addWidget(display);
    buttons->addWidget(report);
    buttons->addStretch(1);
    m_versionLabel = named(new QLabel, "VersionLabel");
    m_versionLabel->setAlignment(Qt::AlignRight | Qt::AlignBottom);
    buttons->addWidget(m_versionLabel);
    row->addSpacing(8);
    row->addLayout(buttons);

    // Enter anywhere on the panel runs the search, as the window's default button does.
    for (QKeySequence key : {QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)}) {
        auto *shortcut = new QShortcut(key, panel);
        shortcut->setContext(Qt::WidgetWithChildrenShortcut);
        connect(shortcut, &QShortcut::activated, m_PerformQueryButton, &QPushButton::click);
    }
    return panel;
}

QWidget *TQZTrackForm::buildSearchTab()
{
    auto *tab = named(new QWidget, "SearchTab");
    auto *layout = new QVBoxLayout(tab);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(buildCriteriaPanel());

    m_ContentDBGrid = named(new QTableView, "ContentDBGrid");
    m_ContentDBGrid->setModel(&m_model);
    m_ContentDBGrid->installEventFilter(new GridEndKeyFilter(m_model, m_ContentDBGrid));
    m_ContentDBGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_ContentDBGrid->setSelectionBehavior(QAbstractItemView::SelectItems);
    m_ContentDBGrid->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_ContentDBGrid->setShowGrid(true);
    m_ContentDBGrid->setWordWrap(false);
    m_ContentDBGrid->horizontalHeader()->setSectionsMovable(true);
    m_ContentDBGrid->horizontalHeader()->setSectionsClickable(true);
    m_ContentDBGrid->horizontalHeader()->setHighlightSections(false);
    m_ContentDBGrid->verticalHeader()->setDefaultSectionSize(m_ContentDBGrid->fontMetrics().height() + 4);
    m_ContentDBGrid->verticalHeader()->setFixedWidth(12);
    // The selected cell stays highlighted when the grid loses focus.
    QPalette palette = m_ContentDBGrid->palette();
    palette.setBrush(QPalette::Inactive, QPalette::Highlight,
                     palette.brush(QPalette::Active, QPalette::Highlight));
    palette.setBrush(QPalette::Inactive, QPalette::HighlightedText,
                     palette.brush(QPalette::Active, QPalette::HighlightedText));
    m_ContentDBGrid->setPalette(palette);

    const int defaultWidth = m_ContentDBGrid->horizontalHeader()->defaultSectionSize();
    for (const GridColumn &column : gridColumns())
        m_columnWidths.push_back(column.width > 0 ? column.width : defaultWidth);
    applyColumnWidths();
    connect(m_ContentDBGrid->horizontalHeader(), &QHeaderView::sectionResized, this,
            [this](int column, int, int width) {
                if (column >= 0 && column < int(m_columnWidths.size()) && width > 0)
                    m_columnWidths[std::size_t(column)] = width;
            });
    // A reset of the model forgets the header's sections; the widths are put back.
    connect(&m_model, &QAbstractItemModel::modelReset, this, &TQZTrackForm::applyColumnWidths);
    connect(m_ContentDBGrid->horizontalHeader(), &QHeaderView::sectionClicked, this,
            &TQZTrackForm::ContentDBGridTitleClick);
    connect(m_ContentDBGrid, &QTableView::doubleClicked, this, &TQZTrackForm::OpenMessage1Click);

    m_GridPopUp = named(new QMenu(this), "GridPopUp");
    m_OpenMessage1 =
        m_GridPopUp->addAction(QStringLiteral("&Display Result"), this, &TQZTrackForm::OpenMessage1Click);
    m_OpenMessage1->setObjectName(QStringLiteral("OpenMessage1"));
    m_agasManaged1 =
        m_GridPopUp->addAction(QStringLiteral("&Tag as Managed"), this, &TQZTrackForm::agasManaged1Click);
    m_agasManaged1->setObjectName(QStringLiteral("agasManaged1"));
    connect(m_GridPopUp, &QMenu::aboutToShow, this, &TQZTrackForm::GridPopUpPopup);
    m_ContentDBGrid->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_ContentDBGrid, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &at) { m_GridPopUp->popup(m_ContentDBGrid->viewport()->mapToGlobal(at)); });

    auto *copy = new QAction(QStringLiteral("Copy"), m_ContentDBGrid);
    copy->setObjectName(QStringLiteral("CopyCells"));
    copy->setShortcut(QKeySequence::Copy);
    copy->setShortcutContext(Qt::WidgetShortcut);
    connect(copy, &QAction::triggered, this, &TQZTrackForm::copySelectedCells);
    m_ContentDBGrid->addAction(copy);

    layout->addWidget(m_ContentDBGrid, 1);
    layout->addWidget(buildStatusBar());
    return tab;
}

QWidget *TQZTrackForm::buildStatusBar()
{
    // The status bar belongs to the "&Search" tab, below the grid.
    auto *bar = named(new QStatusBar, "StatusBar1");
    bar->setSizeGripEnabled(false);
    const char *texts[] = {"Connection: Not Connected", "Count:", "Criteria:"};
    const int widths[] = {200, 80, 0};
    for (int i = 0; i < 3; ++i) {
        QLabel *panel = nullptr;
        if (widths[i] > 0) {
            panel = new StatusPanel(QLatin1String(texts[i]), widths[i]);
        } else {
            // The last panel takes the rest of the bar and gives way first.
            panel = new QLabel(QLatin1String(texts[i]));
            panel->setMinimumWidth(1);
        }
        panel->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        bar->addWidget(panel, widths[i] > 0 ? 0 : 1);
        m_statusPanels[std::size_t(i)] = panel;
    }
    // How far the background read of the result got; shown only while it runs.
    m_readProgress = named(new QProgressBar, "ReadProgress");
    m_readProgress->setFixedWidth(120);
    m_readProgress->setFormat(QStringLiteral("%v of %m"));
    m_readProgress->hide();
    bar->addPermanentWidget(m_readProgress);
    connect(&m_model, &TrackResultModel::readProgress, m_readProgress, [this](int rowsRead) {
        // The count ran a moment before the result opened: rows added since may exceed it.
        m_readProgress->setMaximum(std::max(m_readProgress->maximum(), rowsRead));
        m_readProgress->setValue(rowsRead);
    });
    connect(&m_model, &TrackResultModel::readFinished, m_readProgress, &QWidget::hide);
    // The result opens before its rows are read: a failure while reading them is the failure of
    // opening it, and the rows shown are not the whole result.
    connect(&m_model, &TrackResultModel::readFailed, this,
            [this](const QString &error) { showMessage(QStringLiteral("Set Active failed with ") + error); });
    return bar;
}

QWidget *TQZTrackForm::buildReportTab()
{
    auto *tab = named(new QWidget, "ReportTab");
    auto *layout = new QVBoxLayout(tab);
    layout->setContentsMargins(0, 0, 0, 0);
    auto *strip = named(new QWidget, "ReportStrip");
    strip->setFixedHeight(ReportStripHeight);
    auto *buttons = new QHBoxLayout(strip);
    auto *prev = named(new QPushButton(QStringLiteral("Prev.")), "PreviewPrev");
    auto *next = named(new QPushButton(QStringLiteral("Next")), "PreviewNext");
    auto *print = named(new QPushButton(QStringLiteral("Print")), "Button1");
    connect(prev, &QPushButton::clicked, this, &TQZTrackForm::PreviewPrevClick);
    connect(next, &QPushButton::clicked, this, &TQZTrackForm::PreviewNextClick);
    connect(print, &QPushButton::clicked, this, &TQZTrackForm::Button1Click);
    buttons->addWidget(prev);
    buttons->addWidget(next);
    m_SaveReportPdf = named(new QPushButton(QStringLiteral("Save as &PDF...")), "SaveReportPdf");
    connect(m_SaveReportPdf, &QPushButton::clicked, this, &TQZTrackForm::SaveReportPdfClick);
    buttons->addStretch(1);
    buttons->addWidget(m_SaveReportPdf);
    buttons->addWidget(print);
    layout->addWidget(strip);
    auto *scroll = named(new QScrollArea, "ReportPreviewScroll");
    m_reportPreview = named(new QLabel, "ReportPreview");
    scroll->setWidget(m_reportPreview);
    scroll->setWidgetResizable(true);
    layout->addWidget(scroll, 1);
    return tab;
}

void TQZTrackForm::applyColumnWidths()
{
    QHeaderView *header = m_ContentDBGrid->horizontalHeader();
    for (std::size_t column = 0; column < m_columnWidths.size(); ++column)
        header->resizeSection(int(column), m_columnWidths[column]);
}

SearchCriteria TQZTrackForm::criteria() const
{
    SearchCriteria c;
    c.nameFilterChecked = m_NameFilterCheck->isChecked();
    c.nameFilterText = m_rsNameFilterEdit->text();
    c.requestIdChecked = m_RequestIDCheck->isChecked();
    c.requestText = m_rsRequestEdit->text();
    c.dobChecked = m_DOBCheck->isChecked();
    c.dobDate = m_rsDOBPicker->date();
    c.mailboxChecked = m_MailboxCheck->isChecked();
    c.mailboxText = m_rsMailboxEdit->text();
    c.addresseeChecked = m_AddresseeCheck->isChecked();
    c.addresseeText = m_rsAddressEdit->text();
    c.requestingDocChecked = m_RequestingDocCheck->isChecked();
    c.requestingDocText = m_rsREqDocEdit->text();
    c.fromDateChecked = m_FromDateCheck->isChecked();
    c.fromDate = m_rsFromDatePicker->date();
    c.fromTime = m_FromTimePicker->time();
    c.toDateChecked = m_ToDateCheck->isChecked();
    c.toDate = m_rstoDatePicker->date();
    c.toTime = m_ToTimePicker->time();
    c.reqDateChecked = m_ReqDateCheck->isChecked();
    c.reqDate = m_rsReqDatePicker->date();
    c.statusIndex = m_StatusFilter->currentIndex();
    c.fileTypeChecked = m_FileTypeCheck->isChecked();
    c.fileTypeText = m_FileTypeCombo->currentText();
    c.runNumberChecked = m_cbxRunNumber->isChecked();
    c.runNumberText = m_txtRunNumber->text();
    return c;
}

void TQZTrackForm::setCriteria(const SearchCriteria &c)
{
    m_NameFilterCheck->setChecked(c.nameFilterChecked);
    m_rsNameFilterEdit->setText(c.nameFilterText);
    m_RequestIDCheck->setChecked(c.requestIdChecked);
    m_rsRequestEdit->setText(c.requestText);
    m_DOBCheck->setChecked(c.dobChecked);
    m_rsDOBPicker->setDate(c.dobDate);
    m_MailboxCheck->setChecked(c.mailboxChecked);
    m_rsMailboxEdit->setText(c.mailboxText);
    m_AddresseeCheck->setChecked(c.addresseeChecked);
    m_rsAddressEdit->setText(c.addresseeText);
    m_RequestingDocCheck->setChecked(c.requestingDocChecked);
    m_rsREqDocEdit->setText(c.requestingDocText);
    m_FromDateCheck->setChecked(c.fromDateChecked);
    m_rsFromDatePicker->setDate(c.fromDate);
    m_FromTimePicker->setTime(c.fromTime);
    m_ToDateCheck->setChecked(c.toDateChecked);
    m_rstoDatePicker->setDate(c.toDate);
    m_ToTimePicker->setTime(c.toTime);
    m_ReqDateCheck->setChecked(c.reqDateChecked);
    m_rsReqDatePicker->setDate(c.reqDate);
    m_StatusFilter->setCurrentIndex(c.statusIndex);
    m_FileTypeCheck->setChecked(c.fileTypeChecked);
    m_FileTypeCombo->setEditText(c.fileTypeText);
    m_cbxRunNumber->setChecked(c.runNumberChecked);
    m_txtRunNumber->setText(c.runNumberText);
}

void TQZTrackForm::showMessage(const QString &text)
{
    m_boxes->show({QLatin1String(ApplicationTitle), text, QMessageBox::NoIcon, QMessageBox::Ok});
}

void TQZTrackForm::showStandardError(const QString &text)
{
    m_boxes->show({QLatin1String(ApplicationTitle), text, QMessageBox::Critical, QMessageBox::Ok});
}

void TQZTrackForm::runCommand(const std::function<void()> &command)
{
    try {
        command();
    } catch (const DbError &error) {
        showStandardError(error.message());
    } catch (const std::exception &error) {
        showStandardError(QString::fromStdString(error.what()));
    }
}
