#include "viewer/gui/Tracking.h"

#include "Version.h"
#include "shared/config/DataLinkFile.h"
#include "shared/db/DbError.h"
#include "shared/tracking/DbStatement.h"
#include "shared/text/WallClock.h"
#include "viewer/app/ViewerMessageRelay.h"
#include "viewer/gui/SharedContentLauncher.h"
#include "viewer/search/SearchSettingsStore.h"

#include <QAction>
#include <QProgressBar>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDateEdit>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QTabWidget>
#include <QTableView>
#include <QTimeEdit>

namespace {

const QString ProbeSql = QStringLiteral("select Count(MsgID) as TRACKCOUNT from Tracking \r\n"
                                        "Where QZServerReceiveTime is not null");

// The data source named by a connection string: after the first "Data Source=" up to ";".
QString dataSourceOf(const QString &connectionString)
{
    const QString key = QStringLiteral("Data Source=");
    const qsizetype at = connectionString.indexOf(key);
    if (at < 0)
        return {};
    const qsizetype start = at + key.size();
    const qsizetype end = connectionString.indexOf(u';', start);
    return connectionString.mid(start, end < 0 ? -1 : end - start);
}

} // namespace

void TQZTrackForm::FormCreate()
{
    const QDateTime now = WallClock::now();
    setWindowTitle(QStringLiteral("Orvane Tracking (") + QLatin1String(ovtrack::ProductVersion) + u')');
    m_versionLabel->setText(QStringLiteral("Version: ") + QLatin1String(ovtrack::FileVersion));

    // Paths, settings file and command line; the connection file comes before the third argument.
    m_run = ViewerRunValues::fromEnvironment(m_options.appPath, m_options.arguments);
    setPickersForStartup(now);

    m_TempFiles.clear();
    m_contentDisplay = std::make_unique<MessageContentDisplay>(
        m_connection, MessageContentFolders{m_run.AppPath, m_run.TempPath, m_run.UserPath, m_run.ImportPath},
        m_TempFiles, std::make_unique<SharedContentLauncher>(m_options.launcher));
    if (!m_relay) {
        // Another viewer may hold the name already; that one then relays.
        m_relay = new ViewerMessageRelay(QStringLiteral("OVTrack"), QStringLiteral("THMView"), this);
        m_relay->start();
    }
    for (int i = 0; i < m_pages->count(); ++i)
        m_pages->setTabVisible(i, m_pages->widget(i) == m_searchTab);
    m_pages->setCurrentWidget(m_searchTab);
    m_SortOrder = QString::fromLatin1(InitialSortOrder);

    m_search.closeTrackQuery();
    m_connection.close();

    if (m_run.DbConnectionString.isEmpty() && askToConfigureConnection())
        return;
    connectAndProbe();
    LoadSearchSettings();
}

void TQZTrackForm::setPickersForStartup(const QDateTime &now)
{
    const SearchCriteria startup = SearchCriteria::atStartup(now.date());
    m_rsFromDatePicker->setDate(startup.fromDate);
    m_rstoDatePicker->setDate(startup.toDate);
    m_rsReqDatePicker->setDate(startup.reqDate);
    m_FromTimePicker->setTime(QTime(0, 0));
    m_ToTimePicker->setTime(QTime(0, 0));
}

// True when the user chose to configure a connection: start-up then ends.
bool TQZTrackForm::askToConfigureConnection()
{
    const QMessageBox::StandardButton answer = m_boxes->show(
        {QStringLiteral("QZTrack Database"),
         QStringLiteral(
             "No database connection defined.\r\nDo you want to try to configure a connection now?\r\n"),
         QMessageBox::Critical, QMessageBox::Yes | QMessageBox::No});
    if (answer != QMessageBox::Yes)
        return false;
    m_CreateblankTrackTable1->setEnabled(true);
    const QString path = m_run.AppPath + QLatin1String(DataLinkFileName);
    try {
        writeDataLinkFile(path, QLatin1String(DefaultViewerInitString));
    } catch (const DataLinkError &error) {
        // Nothing to hand to the editor: say why rather than open a file that is not there.
        showStandardError(QString::fromStdString(error.what()));
        return true;
    }
    m_run.DbConnectionString = QStringLiteral("File name=") + path;
    if (!m_options.launcher->OpenWithDesktop(path))
        showMessage(noProgramOpenedText(path));
    return true;
}

void TQZTrackForm::connectAndProbe()
{
    try {
        m_connection.open(m_run.DbConnectionString);
        try {
            DbStatement probe(m_connection, ProbeSql);
            probe.open();
        } catch (const DbError &) {
            m_CreateblankTrackTable1->setEnabled(true);
            throw;
        }
        UpdateStatusBar();
    } catch (const std::exception &error) {
        // The database's own reason on a line of its own: without it the user cannot tell a wrong
        // server from a wrong password or a missing table.
        const QString text =
            QStringLiteral("Failed to connect to the Tracking database. The Connection String used was ") +
            maskedConnectionString(m_run.DbConnectionString) + QStringLiteral("\r\n") +
            QString::fromUtf8(error.what());
        if (m_connection.databaseFileMissing())
            m_CreateblankTrackTable1->setEnabled(true);
        showMessage(text);
        return;
    }
    try {
        m_audit.ensureTable();
    } catch (const std::exception &) {
        // A login that may not create it: the first audited action then says why it cannot run.
    }
}

void TQZTrackForm::UpdateStatusBar()
{
    m_statusPanels[1]->setText(QStringLiteral("Count: ") + QString::number(m_search.TrackCount()));
    m_statusPanels[2]->setText(QStringLiteral("Criteria: ") + m_search.CriteriaText());
    m_readProgress->setVisible(m_model.isReading());
    if (m_connection.isOpen())
        m_statusPanels[0]->setText(QStringLiteral("Connection: Connected to ") +
                                   dataSourceOf(m_connection.target().initString));
    else
        m_statusPanels[0]->setText(QStringLiteral("Connection: Not Connected"));
}

void TQZTrackForm::LoadGridColumnWidths()
{
    for (const auto &[column, width] :
         SearchSettingsStore().LoadGridColumnWidths(int(m_columnWidths.size()))) {
        if (width > 0)
            m_columnWidths[std::size_t(column)] = width;
    }
    applyColumnWidths();
}

void TQZTrackForm::SaveGridColumnWidths()
{
    SearchSettingsStore().SaveGridColumnWidths(m_columnWidths);
}

void TQZTrackForm::LoadSearchSettings()
{
    LoadGridColumnWidths();
    SearchCriteria values = criteria();
    SearchSettingsStore().load().applyTo(values, m_SortOrder, WallClock::now());
    setCriteria(values);
}

void TQZTrackForm::SaveSearchSettings()
{
    SaveGridColumnWidths();
    SearchSettingsStore().save(SavedSearch::fromCriteria(criteria(), m_SortOrder, WallClock::now()));
}

void TQZTrackForm::closeEvent(QCloseEvent *event)
{
    m_model.cancelRead();
    FormClose();
    event->accept();
}

void TQZTrackForm::FormClose()
{
    SaveSearchSettings();
    if (m_contentDisplay)
        m_contentDisplay->DeleteTempFiles();
    m_contentDisplay = std::make_unique<MessageContentDisplay>(
        m_connection, MessageContentFolders{m_run.AppPath, m_run.TempPath, m_run.UserPath, m_run.ImportPath},
        m_TempFiles, std::make_unique<SharedContentLauncher>(m_options.launcher));
    if (!m_relay) {
        // Another viewer may hold the name already; that one then relays.
        m_relay = new ViewerMessageRelay(QStringLiteral("OVTrack"), QStringLiteral("THMView"), this);
        m_relay->start();
    }
}

void TQZTrackForm::Connect1Click()
{
    runCommand([this] {
        if (m_connection.isOpen())
            return;
        m_connection.open(m_run.DbConnectionString);
        UpdateStatusBar();
    });
}

void TQZTrackForm::Disconnect1Click()
{
    if (!m_connection.isOpen())
        return;
    dropTrackReport();
    m_search.closeTrackQuery();
    m_connection.close();
    UpdateStatusBar();
}

void TQZTrackForm::DataBase1Click()
{
    const bool connected = m_connection.isOpen();
    m_Connect1->setEnabled(!connected);
    m_Disconnect1->setEnabled(connected);
}

void TQZTrackForm::Exit1Click()
{
    try {
        m_search.closeTrackQuery();
    } catch (...) {
        // Closing the query may fail on a lost connection; the window closes anyway.
    }
    close();
}
