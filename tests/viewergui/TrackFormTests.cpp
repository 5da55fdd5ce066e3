#include "shared/config/DataLinkFile.h"
#include "shared/db/DbError.h"
#include "shared/tracking/DbStatement.h"
#include "shared/text/OleDate.h"

#include "viewer/content/ContentLauncherDesktop.h"

#include "tests/support/DesktopOpenerPath.h"
#include "tests/support/TrackingTestDatabase.h"
#include "tests/viewergui/TrackFormFixture.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDateEdit>
#include <QFileInfo>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QProcess>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QTest>

namespace {

using DB = TrackingTestDatabase;

const QString Failure = "Failed to connect to the Tracking database. The Connection String used was ";

bool tableExists(DB &db)
{
    DbStatement probe(db.connection(), db.connection().dialect().tableExistsSql("Tracking"));
    return probe.open().rowCount() == 1;
}

} // namespace

QString TrackFormWindows::statusPanel(TQZTrackForm &form, int panel)
{
    return child<QLabel>(form, QStringLiteral("StatusPanel%1").arg(panel).toLatin1().constData())->text();
}

namespace {

TEST_F(TrackFormTest, StartsWithCaptionVersionAndOnlyTheSearchTab)
{
    auto form = start({"", "", "Provider=SQLite;Data Source=" + app.filePath("none/x.db")});
    EXPECT_EQ(form->windowTitle(), "Orvane Tracking (2.03)");
    EXPECT_EQ(child<QLabel>(*form, "VersionLabel")->text(), "Version: 2.0.3.40");
    EXPECT_EQ(form->size(), QSize(970, 643));
    QTabWidget *pages = form->pages();
    ASSERT_EQ(pages->count(), 5);
    EXPECT_EQ(pages->tabText(0), "&Search");
    for (int i = 1; i < 5; ++i)
        EXPECT_FALSE(pages->isTabVisible(i)) << pages->tabText(i).toStdString();
    EXPECT_EQ(statusPanel(*form, 0), "Connection: Not Connected");
    EXPECT_EQ(statusPanel(*form, 1), "Count:");
    EXPECT_EQ(statusPanel(*form, 2), "Criteria:");
    EXPECT_EQ(form->SortOrder(), "QZServerReceiveTime,QZDeliveryTime, Patient,PatientGiven,PatientDob,Test");
    EXPECT_EQ(form->trackModel().rowCount(), 0); // start-up runs no query
}

TEST_F(TrackFormTest, WithoutAConnectionAsksAndYesWritesAndOpensTheDefaultFile)
{
    boxes = nullptr;
    auto boxesYes = std::make_shared<RecordingMessageBoxes>();
    boxesYes->answers = {QMessageBox::Yes};
    TQZTrackForm form({app.path(), {}, boxesYes, launcher});
    form.FormCreate();

    ASSERT_EQ(boxesYes->shown.size(), 1u);
    const MessageBoxRequest &question = boxesYes->shown[0];
    EXPECT_EQ(question.caption, "QZTrack Database");
    EXPECT_EQ(question.text,
              "No database connection defined.\r\nDo you want to try to configure a connection now?\r\n");
    EXPECT_EQ(question.icon, QMessageBox::Critical);
    EXPECT_EQ(question.buttons, QMessageBox::Yes | QMessageBox::No);
    const QString udl = app.filePath("qztrack.udl");
    EXPECT_EQ(app.readFile("qztrack.udl"), dataLinkFileBytes(DefaultViewerInitString));
    EXPECT_EQ(launcher->opened, QStringList{udl});
    EXPECT_EQ(form.runValues().DbConnectionString, "File name=" + udl);
    EXPECT_TRUE(child<QAction>(form, "CreateblankTrackTable1")->isEnabled());
    EXPECT_FALSE(form.connection().isOpen());
}

// Mended fault: when no program could open the new connection file, nothing was said.
TEST_F(TrackFormTest, ConnectionFileThatNoProgramOpensIsNamed)
{
    const DesktopOpenerPath noProgram(3);
    auto boxesYes = std::make_shared<RecordingMessageBoxes>();
    boxesYes->answers = {QMessageBox::Yes};
    TQZTrackForm form({app.path(), {}, boxesYes, std::make_shared<ContentLauncherDesktop>()});
    form.FormCreate();

    const QString udl = app.filePath("qztrack.udl");
    EXPECT_EQ(boxesYes->texts().value(1), noProgramOpenedText(udl));
    EXPECT_EQ(noProgram.openedFiles(), udl.toLocal8Bit() + '\n');
    EXPECT_EQ(form.runValues().DbConnectionString, "File name=" + udl);
}

TEST_F(TrackFormTest, AnsweringNoGoesOnToTheFailureWithAnEmptyString)
{
    boxes = std::make_shared<RecordingMessageBoxes>();
    boxes->answers = {QMessageBox::No};
    TQZTrackForm form({app.path(), {}, boxes, launcher});
    form.FormCreate();
    EXPECT_EQ(boxes->texts().size(), 2);
    EXPECT_TRUE(boxes->texts().value(1).startsWith(Failure + "\r\n")) << boxes->texts().value(1).toStdString();
    EXPECT_GT(boxes->texts().value(1).size(), Failure.size() + 2); // the reason follows
    EXPECT_FALSE(app.exists("qztrack.udl"));
    EXPECT_TRUE(launcher->opened.isEmpty());
    EXPECT_FALSE(child<QAction>(form, "CreateblankTrackTable1")->isEnabled());
}

// A window over a database that has no Tracking table yet.
using BlankDatabaseWindow = TrackFormBackendTest;

TEST_P(BlankDatabaseWindow, DatabaseWithoutTrackingFailsTheProbeAndCreateBlankMakesTheTable)
{
    DB db(app.path(), "empty.db", false, backend());
    writeDataLinkFile(app.filePath("qztrack.udl"), db.connectionString());
    auto form = start();
    // The database's own words for the failed probe follow on a line of their own.
    QString reason;
    try {
        DbStatement(db.connection(), "select Count(MsgID) as TRACKCOUNT from Tracking \r\n"
                                     "Where QZServerReceiveTime is not null")
            .open();
    } catch (const DbError &error) {
        reason = error.message();
    }
    ASSERT_FALSE(reason.isEmpty());
    EXPECT_EQ(boxes->texts().join('|').toStdString(),
              (Failure + "File name=" + app.filePath("qztrack.udl") + "\r\n" + reason).toStdString());
    QAction *create = child<QAction>(*form, "CreateblankTrackTable1");
    EXPECT_TRUE(create->isEnabled());
    EXPECT_EQ(statusPanel(*form, 0), "Connection: Not Connected");

    create->trigger();
    EXPECT_TRUE(tableExists(db));
    EXPECT_FALSE(create->isEnabled());
    EXPECT_EQ(boxes->shown.size(), 1u);
}

// Mended fault: a missing database file was created, empty, on opening. The failure names the file
// and says how to create it; Create blank is the one command that does.
// Mended fault: a failed connection at start-up gave no reason.
TEST_F(TrackFormTest, AConnectionFailureAtStartUpGivesTheDatabasesReason)
{
    const QString file = app.writeFile("garbage.db", QByteArray(4096, 'x'));
    auto form = start({"", "", "Provider=SQLite;Data Source=" + file});
    ASSERT_EQ(boxes->shown.size(), 1u);
    const QString text = boxes->shown[0].text;
    EXPECT_TRUE(text.startsWith(Failure + "Provider=SQLite;Data Source=" + file + "\r\n")) << text.toStdString();
    EXPECT_TRUE(text.endsWith("file is not a database")) << text.toStdString();
}

TEST_F(TrackFormTest, MissingDatabaseFileIsNamedAndOnlyCreateBlankCreatesIt)
{
    const QString file = app.filePath("new.db");
    auto form = start({"", "", "Provider=SQLite;Data Source=" + file});
    ASSERT_EQ(boxes->shown.size(), 1u);
    EXPECT_TRUE(boxes->shown[0].text.startsWith(Failure + "Provider=SQLite;Data Source=" + file));
    EXPECT_TRUE(boxes->shown[0].text.contains("\r\n" + missingDatabaseText(file)))
        << boxes->shown[0].text.toStdString();
    EXPECT_FALSE(QFileInfo::exists(file));
    QAction *create = child<QAction>(*form, "CreateblankTrackTable1");
    ASSERT_TRUE(create->isEnabled());

    create->trigger();
    EXPECT_EQ(boxes->shown.size(), 1u);
    EXPECT_TRUE(QFileInfo::exists(file));
    EXPECT_FALSE(create->isEnabled());
    DB db(app.path(), "new.db", false);
    EXPECT_TRUE(tableExists(db));
}

TEST_P(BlankDatabaseWindow, CreateBlankOverAnExistingTableShowsTheDatabaseErrorAndStaysEnabled)
{
    DB db(app.path(), "empty.db", false, backend());
    auto form = start({"", "", db.connectionString()});
    db.connection().execute(db.connection().dialect().createTrackingSql());
    QAction *create = child<QAction>(*form, "CreateblankTrackTable1");
    create->trigger();
    ASSERT_EQ(boxes->shown.size(), 2u);
    EXPECT_EQ(boxes->shown[1].icon, QMessageBox::Critical);
    EXPECT_TRUE(boxes->shown[1].text.contains("already exists")) << boxes->shown[1].text.toStdString();
    EXPECT_TRUE(create->isEnabled());
}

TEST_P(BlankDatabaseWindow, CreateBlankWhileDisconnectedChangesNothing)
{
    DB db(app.path(), "empty.db", false, backend());
    auto form = start({"", "", db.connectionString()});
    form->Disconnect1Click();
    QAction *create = child<QAction>(*form, "CreateblankTrackTable1");
    create->trigger();
    EXPECT_FALSE(tableExists(db));
    EXPECT_TRUE(create->isEnabled());
}

OVTRACK_ON_EVERY_BACKEND(BlankDatabaseWindow);

class SearchWindow : public TrackFormBackendTest
{
protected:
    void SetUp() override
    {
        TrackFormBackendTest::SetUp();
        if (IsSkipped())
            return;
        db = std::make_unique<DB>(app.path(), "tracking.db", true, backend());
        db->insert({{"MsgID", "M1"},
                    {"Patient", "Smith"},
                    {"PatientGiven", "Ann"},
                    {"PracID", "P01"},
                    {"QZServerReceiveTime", DB::at(2024, 3, 1, 9, 0, 0)},
                    {"QZDeliveryTime", DB::at(1900, 1, 1)}});
        db->insert({{"MsgID", "M2"},
                    {"Patient", "Smithers"},
                    {"PracID", "P02"},
                    {"QZServerReceiveTime", DB::at(2024, 3, 2, 9, 0, 0)}});
        db->insert({{"MsgID", "M3"},
                    {"Patient", "Jones"},
                    {"PracID", "P01"},
                    {"QZServerReceiveTime", DB::at(2024, 3, 3, 9, 0, 0)},
                    {"QZDeliveryTime", DB::at(2024, 3, 3, 10)},
                    {"ReadStatus", 3}});
        form = start({"", "", db->connectionString()});
    }

    void searchPatient(const QString &text)
    {
        child<QCheckBox>(*form, "NameFilterCheck")->setChecked(true);
        child<QLineEdit>(*form, "rsNameFilterEdit")->setText(text);
        child<QPushButton>(*form, "PerformQueryButton")->click();
    }

    int rowOf(const QString &msgId)
    {
        for (int row = 0; row < form->trackModel().rowCount(); ++row) {
            if (form->trackModel().value(row, TrackField::MsgID) == msgId)
                return row;
        }
        return -1;
    }

    void makeCurrent(const QString &msgId)
    {
        form->grid()->setCurrentIndex(form->trackModel().index(rowOf(msgId), 0));
    }

    std::unique_ptr<DB> db;
    std::unique_ptr<TQZTrackForm> form;
};

TEST_P(SearchWindow, StartUpConnectsAndShowsTheDataSource)
{
    EXPECT_TRUE(boxes->shown.empty());
    EXPECT_EQ(statusPanel(*form, 0), "Connection: Connected to " + dataSource());
    EXPECT_FALSE(child<QAction>(*form, "CreateblankTrackTable1")->isEnabled());
}

TEST_P(SearchWindow, SearchFillsTheGridAndTheStatusBar)
{
    searchPatient(" smi ");
    EXPECT_TRUE(boxes->shown.empty());
    ASSERT_EQ(form->trackModel().rowCount(), 2);
    EXPECT_EQ(form->trackModel().cellText(0, 0), "Undeliverable");
    EXPECT_EQ(form->trackModel().cellText(0, 3), "Smith Ann");
    EXPECT_EQ(form->trackModel().cellText(1, 0), "Waiting 02/03/24 09:00:00");
    EXPECT_EQ(statusPanel(*form, 1), "Count: 2");
    EXPECT_EQ(statusPanel(*form, 2), "Criteria: Patient \"smi\", ");
    EXPECT_EQ(statusPanel(*form, 0), "Connection: Connected to " + dataSource());
}

TEST_P(SearchWindow, NothingTickedSaysSoAndKeepsTheCount)
{
    searchPatient("Smith");
    child<QCheckBox>(*form, "NameFilterCheck")->setChecked(false);
    child<QPushButton>(*form, "PerformQueryButton")->click();
    EXPECT_EQ(boxes->texts(), QStringList{"No criteria Selected"});
    EXPECT_EQ(boxes->shown[0].caption, "Orvane Tracker");
    EXPECT_EQ(form->trackModel().rowCount(), 0);
    EXPECT_EQ(statusPanel(*form, 1), "Count: 2");
    EXPECT_EQ(statusPanel(*form, 2), "Criteria: ");
}

TEST_P(SearchWindow, TagAsManagedIsOfferedForUndeliverableRowsOnlyAndTagsWithTheCurrentTime)
{
    searchPatient("");
    QAction *tag = child<QAction>(*form, "agasManaged1");
    for (const char *id : {"M2", "M3"}) {
        makeCurrent(id);
        form->GridPopUpPopup();
        EXPECT_FALSE(tag->isVisible()) << id;
    }
    makeCurrent("M1");
    form->GridPopUpPopup();
    EXPECT_TRUE(tag->isVisible());

    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    tag->trigger();
    const QDateTime after = QDateTime::currentDateTime().addSecs(1);
    EXPECT_TRUE(boxes->shown.empty());
    const int row = rowOf("M1");
    ASSERT_GE(row, 0);
    const QString status = form->trackModel().displayText(row, TrackField::Status);
    ASSERT_TRUE(status.startsWith("Managed ")) << status.toStdString();
    const QDateTime tagged = QDateTime::fromString(status.mid(8), "dd/MM/yy HH:mm:ss").addYears(100);
    EXPECT_GE(tagged, before.addMSecs(-before.time().msec()));
    EXPECT_LE(tagged, after);
    EXPECT_EQ(db->textOf("M1", "QZDeliveryTime"), "1900-01-27 00:00:00.000");

    makeCurrent("M1");
    form->GridPopUpPopup();
    EXPECT_FALSE(tag->isVisible());
}

// Mended fault: a row whose MsgID is null was tagged with a NULL key; the key is the empty text.
TEST_P(SearchWindow, TagAsManagedOnANullMessageIdTagsTheRowsWithAnEmptyOne)
{
    db->insert({{"Patient", "Nullid"},
                {"QZServerReceiveTime", DB::at(2024, 3, 4, 9)},
                {"QZDeliveryTime", DB::at(1900, 1, 1)}});
    db->insert({{"MsgID", QString(QLatin1String(""))},
                {"Patient", "Emptyid"},
                {"QZServerReceiveTime", DB::at(2024, 3, 5, 9)},
                {"QZDeliveryTime", DB::at(1900, 1, 1)}});
    searchPatient("");
    int nullRow = -1;
    for (int row = 0; row < form->trackModel().rowCount(); ++row) {
        if (form->trackModel().value(row, TrackField::MsgID).isNull())
            nullRow = row;
    }
    ASSERT_GE(nullRow, 0);
    form->grid()->setCurrentIndex(form->trackModel().index(nullRow, 0));
    form->GridPopUpPopup();
    QAction *tag = child<QAction>(*form, "agasManaged1");
    ASSERT_TRUE(tag->isVisible());
    tag->trigger();
    EXPECT_TRUE(boxes->shown.empty());

    DbStatement deliveries(
        db->connection(),
        "select Patient, QZDeliveryTime from Tracking where Patient in ('Nullid', 'Emptyid') "
        "order by Patient");
    const DbResult rows = deliveries.open();
    ASSERT_EQ(rows.rowCount(), 2);
    EXPECT_EQ(rows.text(0, "Patient"), "Emptyid");
    EXPECT_EQ(rows.text(0, "QZDeliveryTime"), "1900-01-27 00:00:00.000");
    EXPECT_EQ(rows.text(1, "QZDeliveryTime"), "1900-01-01 00:00:00.000");
}

TEST_P(SearchWindow, PopUpWithoutARowOffersDisplayOnly)
{
    form->GridPopUpPopup();
    EXPECT_FALSE(child<QAction>(*form, "agasManaged1")->isVisible());
    EXPECT_TRUE(child<QAction>(*form, "OpenMessage1")->isVisible());
}

TEST_P(SearchWindow, TitleClicksSortAndRunTheSearch)
{
    searchPatient("");
    form->ContentDBGridTitleClick(3); // "Patient Name"
    EXPECT_EQ(form->SortOrder(), "Patient,PatientGiven,PatientDob,QZServerReceiveTime,Test");
    EXPECT_EQ(form->trackModel().value(0, TrackField::MsgID), "M3");
    form->ContentDBGridTitleClick(3);
    EXPECT_EQ(form->trackModel().value(0, TrackField::MsgID), "M2");
    const QString before = form->SortOrder();
    form->ContentDBGridTitleClick(6); // "Test Names" does not sort
    EXPECT_EQ(form->SortOrder(), before);
}

TEST_P(SearchWindow, DisconnectEmptiesTheGridAndPerformQueryReconnects)
{
    searchPatient("Smith");
    QMenu *database = child<QMenu>(*form, "DataBase1");
    form->DataBase1Click();
    EXPECT_FALSE(child<QAction>(*form, "Connect1")->isEnabled());
    EXPECT_TRUE(child<QAction>(*form, "Disconnect1")->isEnabled());
    child<QAction>(*form, "Disconnect1")->trigger();
    EXPECT_FALSE(form->connection().isOpen());
    EXPECT_EQ(form->trackModel().rowCount(), 0);
    EXPECT_EQ(statusPanel(*form, 0), "Connection: Not Connected");
    EXPECT_EQ(statusPanel(*form, 1), "Count: 2");
    emit database->aboutToShow();
    EXPECT_TRUE(child<QAction>(*form, "Connect1")->isEnabled());
    EXPECT_FALSE(child<QAction>(*form, "Disconnect1")->isEnabled());

    child<QPushButton>(*form, "PerformQueryButton")->click();
    EXPECT_TRUE(form->connection().isOpen());
    EXPECT_EQ(form->trackModel().rowCount(), 2);
    EXPECT_EQ(statusPanel(*form, 0), "Connection: Connected to " + dataSource());
    EXPECT_TRUE(boxes->shown.empty());
}

// Mended fault: the start-up failure showed the connection string with its password, and a window
// message is often passed on as a screenshot.
TEST_F(TrackFormTest, FailedStartUpShowsTheConnectionStringWithThePasswordMasked)
{
    const QString file = app.filePath("none.db");
    auto form = start({"", "", "Provider=SQLite;Data Source=" + file + ";User ID=ov;PASSWORD=\"Secret;1\""});
    ASSERT_EQ(boxes->shown.size(), 1u);
    const QString text = boxes->shown[0].text;
    EXPECT_TRUE(text.startsWith(Failure + "Provider=SQLite;Data Source=" + file + ";User ID=ov;PASSWORD=*****"))
        << text.toStdString();
    EXPECT_FALSE(text.contains("Secret")) << text.toStdString();
}

// The commands without a window say why they cannot connect, never with the password.
TEST_F(TrackFormTest, HeadlessCommandsNeverPrintThePassword)
{
    const QString connection =
        "Provider=SQLite;Data Source=" + app.filePath("none.db") + ";User ID=ov;Pwd=Secret-1;Password=Secret-2";
    for (const QStringList &command : {QStringList{"--export-csv", app.filePath("out.csv")},
                                       QStringList{"--summary-pdf", app.filePath("out.pdf")},
                                       QStringList{"--audit-csv", app.filePath("audit.csv")}}) {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", config.path());
        process.setProcessEnvironment(env);
        process.start(OVTRACK_PROGRAM, QStringList{"", "", connection} + command);
        ASSERT_TRUE(process.waitForFinished(60000));
        const QString errors = QString::fromLocal8Bit(process.readAllStandardError());
        EXPECT_NE(process.exitCode(), 0) << command[0].toStdString();
        EXPECT_TRUE(errors.contains("none.db")) << errors.toStdString(); // it says why
        EXPECT_FALSE(errors.contains("Secret")) << errors.toStdString();
    }
}

TEST_P(SearchWindow, ConnectFailureShowsTheErrorText)
{
    auto broken = start({"", "", "Provider=Nonsense;Data Source=x"});
    boxes->shown.clear();
    child<QAction>(*broken, "Connect1")->trigger();
    ASSERT_EQ(boxes->shown.size(), 1u);
    EXPECT_EQ(boxes->shown[0].icon, QMessageBox::Critical);
    EXPECT_TRUE(boxes->shown[0].text.contains("Nonsense")) << boxes->shown[0].text.toStdString();
}

TEST_P(SearchWindow, CriteriaWidthsAndSortOrderSurviveARestart)
{
    child<QCheckBox>(*form, "MailboxCheck")->setChecked(true);
    child<QLineEdit>(*form, "rsMailboxEdit")->setText("P0%");
    child<QCheckBox>(*form, "ToDateCheck")->setChecked(true);
    form->findChild<QDateEdit *>("rstoDatePicker")->setDate(QDate(2024, 3, 2));
    form->findChild<QTimeEdit *>("ToTimePicker")->setTime(QTime(10, 11, 12));
    child<QComboBox>(*form, "StatusFilter")->setCurrentText("Undeliverable");
    child<QLineEdit>(*form, "rsRequestEdit")->setText("not kept");
    form->grid()->horizontalHeader()->resizeSection(3, 211);
    form->ContentDBGridTitleClick(1); // "Prac. ID"
    form->close();

    const QSettings saved(QSettings::NativeFormat, QSettings::UserScope, "Tavisk", "RORuzureru");
    EXPECT_EQ(saved.value("QZTToDate").toByteArray().size(), 8);
    EXPECT_EQ(OleDate::fromBytes(saved.value("QZTToTime").toByteArray())->time(), QTime(10, 11, 12));
    EXPECT_EQ(saved.value("GridColWidths/ContentDBGridCol3").toInt(), 211);

    auto again = start({"", "", db->connectionString()});
    const SearchCriteria c = again->criteria();
    EXPECT_TRUE(c.mailboxChecked);
    EXPECT_EQ(c.mailboxText, "P0%");
    EXPECT_TRUE(c.toDateChecked);
    EXPECT_EQ(c.toDate, QDate(2024, 3, 2));
    EXPECT_EQ(c.toTime, QTime(10, 11, 12));
    EXPECT_EQ(c.statusIndex, 2);
    EXPECT_EQ(c.requestText, "");
    EXPECT_EQ(again->SortOrder(), "PracId,QZServerReceiveTime,Patient,PatientGiven,PatientDob,Test");
    EXPECT_EQ(again->grid()->horizontalHeader()->sectionSize(3), 211);
    EXPECT_EQ(again->grid()->horizontalHeader()->sectionSize(0), 78);

    child<QPushButton>(*again, "PerformQueryButton")->click();
    EXPECT_EQ(again->trackModel().rowCount(), 1); // M1: undeliverable, practice P0..., before the To instant
    EXPECT_EQ(again->grid()->horizontalHeader()->sectionSize(3), 211);
}

TEST_P(SearchWindow, CopyGivesTheSelectedCellsTabSeparated)
{
    searchPatient("Smith");
    QItemSelectionModel *selection = form->grid()->selectionModel();
    for (int row : {0, 1})
        for (int column : {1, 3})
            selection->select(form->trackModel().index(row, column), QItemSelectionModel::Select);
    form->copySelectedCells();
    EXPECT_EQ(QApplication::clipboard()->text(), "P01\tSmith Ann\nP02\tSmithers");
    EXPECT_TRUE(boxes->shown.empty());

    // Cells in the order the columns stand on screen; overlapping ranges give each cell once.
    form->grid()->horizontalHeader()->moveSection(3, 0);
    selection->select(QItemSelection(form->trackModel().index(1, 1), form->trackModel().index(1, 3)),
                      QItemSelectionModel::Select);
    form->copySelectedCells();
    EXPECT_EQ(QApplication::clipboard()->text(), "Smith Ann\tP01\nSmithers\tP02\t");
}

// Mended fault: the panels had fixed widths, so a data source or count longer than them was cut.
TEST_P(SearchWindow, StatusPanelsShowTheirWholeText)
{
    searchPatient("Smith");
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    for (const char *name : {"StatusPanel0", "StatusPanel1"}) {
        const QLabel *panel = child<QLabel>(*form, name);
        EXPECT_GE(panel->contentsRect().width(), panel->fontMetrics().horizontalAdvance(panel->text()))
            << panel->text().toStdString();
    }
    EXPECT_GE(child<QLabel>(*form, "StatusPanel0")->width(), 200); // the widths stay as minimums
    EXPECT_GE(child<QLabel>(*form, "StatusPanel1")->width(), 80);
}

TEST_P(SearchWindow, ExportWritesTheGridAsCsv)
{
    searchPatient("Smith");
    form->exportCsvTo(app.filePath("out.csv"));
    const QStringList lines = QString::fromUtf8(app.readFile("out.csv")).split("\r\n");
    ASSERT_EQ(lines.size(), 4);
    EXPECT_TRUE(lines[0].startsWith("Status,Prac. ID,Filename,Patient Name"));
    EXPECT_EQ(lines[1], "Undeliverable,P01,,Smith Ann,,,,,,,,01/03/2024 09:00:00,01/01/1900,");
}

// Mended fault: a cell beginning like a formula reached the spreadsheet as one, from the export
// file and from Ctrl+C.
TEST_P(SearchWindow, ExportAndCopyShowFormulaLikeCellsAsText)
{
    db->insert({{"MsgID", "F1"},
                {"Patient", "=HYPERLINK(\"http://x\",\"y\")"},
                {"PracID", "+P9"},
                {"LabId", "-2"},
                {"Test", "@SUM(A1)"},
                {"AddresseeDoc", "\tDr"},
                {"RequestingDoc", "Dr =A"},
                {"QZServerReceiveTime", DB::at(2024, 3, 4, 9, 0, 0)}});
    searchPatient("=");
    ASSERT_EQ(form->trackModel().rowCount(), 1);
    form->exportCsvTo(app.filePath("formula.csv"));
    const QStringList lines = QString::fromUtf8(app.readFile("formula.csv")).split("\r\n");
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(
        lines[1],
        "Waiting 04/03/24 09:00:00,'+P9,,\"'=HYPERLINK(\"\"http://x\"\",\"\"y\"\")\",,'-2,'@SUM(A1),,'\tDr,"
        "Dr =A,,04/03/2024 09:00:00,,");

    QItemSelectionModel *selection = form->grid()->selectionModel();
    for (int column : {1, 3, 5, 9})
        selection->select(form->trackModel().index(0, column), QItemSelectionModel::Select);
    form->copySelectedCells();
    EXPECT_EQ(QApplication::clipboard()->text(), "'+P9\t'=HYPERLINK(\"http://x\",\"y\")\t'-2\tDr =A");
}

TEST_P(SearchWindow, ClosingDeletesTheTemporaryFiles)
{
    const QString kept = app.writeFile("kept.txt", "x");
    const QString temp = app.writeFile("extracted.hl7", "x");
    form->TempFiles() << temp << app.filePath("already-gone.txt");
    form->close();
    EXPECT_FALSE(QFile::exists(temp));
    EXPECT_TRUE(QFile::exists(kept));
}

} // namespace

namespace {

TEST_P(SearchWindow, EnterInTheCriteriaPanelRunsTheSearch)
{
    child<QCheckBox>(*form, "NameFilterCheck")->setChecked(true);
    QLineEdit *patient = child<QLineEdit>(*form, "rsNameFilterEdit");
    patient->setText("Jon");
    form->show();
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    patient->setFocus();
    QTest::keyClick(patient, Qt::Key_Return);
    ASSERT_EQ(form->trackModel().rowCount(), 1);
    EXPECT_EQ(form->trackModel().value(0, TrackField::MsgID), "M3");
}

OVTRACK_ON_EVERY_BACKEND(SearchWindow);

} // namespace
