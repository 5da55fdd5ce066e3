#include "tests/support/TrackingTestDatabase.h"
#include "tests/viewergui/PdfText.h"
#include "tests/viewergui/TrackFormFixture.h"

#include "viewer/reports/ReportChoice.h"
#include "viewer/gui/ReportProgress.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTest>

namespace {

using DB = TrackingTestDatabase;

// A window over a database of `rows` patients, each with one waiting message.
class ReportWindow : public TrackFormBackendTest
{
protected:
    void startWith(int rows)
    {
        db = std::make_unique<DB>(app.path(), "tracking.db", true, backend());
        db->connection().beginTransaction();
        for (int i = 0; i < rows; ++i)
            db->insert({{"MsgID", QStringLiteral("M%1").arg(i, 3, 10, QChar('0'))},
                        {"Patient", QStringLiteral("Pat%1").arg(i, 3, 10, QChar('0'))},
                        {"PracID", i % 2 ? "P01" : "P02"},
                        {"QZServerReceiveTime", DB::at(2024, 3, 1, 9).addSecs(i * 60)}});
        db->connection().commit();
        form = start({"", "", db->connectionString()});
        child<QCheckBox>(*form, "NameFilterCheck")->setChecked(true);
        child<QLineEdit>(*form, "rsNameFilterEdit")->setText("Pat");
        child<QPushButton>(*form, "PerformQueryButton")->click();
        ASSERT_EQ(form->GetTrackCount(), rows);
    }

    bool reportTabShown() const
    {
        QTabWidget *pages = form->pages();
        return pages->isTabVisible(pages->indexOf(form->reportTab())) &&
               pages->currentWidget() == form->reportTab();
    }

    void click(const char *name) { child<QPushButton>(*form, name)->click(); }
    void trigger(const char *name) { child<QAction>(*form, name)->trigger(); }

    std::unique_ptr<DB> db;
    std::unique_ptr<TQZTrackForm> form;
};

TEST_P(ReportWindow, HundredAndFiftyRowsNeedNoWarning)
{
    startWith(150);
    click("ReportButton");
    EXPECT_TRUE(boxes->shown.empty()) << boxes->texts().join('|').toStdString();
    EXPECT_TRUE(reportTabShown());
    EXPECT_EQ(form->ShownReport(), int(ReportKind::Search));
    EXPECT_GT(form->ReportPageCount(), 1);
    EXPECT_EQ(form->shownReportPage(), 1);
    EXPECT_FALSE(child<QLabel>(*form, "ReportPreview")->pixmap().isNull());
}

TEST_P(ReportWindow, HundredAndFiftyOneRowsWarnAndCancelChangesNothing)
{
    startWith(151);
    boxes->answers = {QMessageBox::Cancel, QMessageBox::Ok};
    click("ReportButton");
    ASSERT_EQ(boxes->shown.size(), 1u);
    EXPECT_EQ(boxes->shown[0].caption, "Large Report Record");
    EXPECT_EQ(boxes->shown[0].text, "Warning!!\r\nThere are 151 records to report");
    EXPECT_EQ(boxes->shown[0].buttons, QMessageBox::Ok | QMessageBox::Cancel);
    EXPECT_FALSE(reportTabShown());
    EXPECT_EQ(form->ReportPageCount(), 0);

    click("ReportButton");
    EXPECT_EQ(boxes->shown.size(), 2u);
    EXPECT_TRUE(reportTabShown());
    EXPECT_EQ(form->shownReportPage(), 1);
}

TEST_P(ReportWindow, PrevAndNextStayWithinThePages)
{
    startWith(60);
    click("ReportButton");
    const int pages = form->ReportPageCount();
    ASSERT_GT(pages, 1);
    click("PreviewPrev");
    EXPECT_EQ(form->shownReportPage(), 1);
    for (int i = 1; i < pages + 2; ++i)
        click("PreviewNext");
    EXPECT_EQ(form->shownReportPage(), pages);
    click("PreviewPrev");
    EXPECT_EQ(form->shownReportPage(), pages - 1);

    // A new preview starts again at page 1; a new search hides the tab.
    click("ReportButton");
    EXPECT_EQ(form->shownReportPage(), 1);
    click("PerformQueryButton");
    EXPECT_FALSE(form->pages()->isTabVisible(form->pages()->indexOf(form->reportTab())));
}

TEST_P(ReportWindow, DisconnectDropsTheSearchReportItsRowsWentWith)
{
    startWith(60);
    click("ReportButton");
    trigger("Disconnect1");
    click("PreviewNext");
    EXPECT_EQ(form->shownReportPage(), 0);
    form->saveReportPdfTo(app.filePath("none.pdf"));
    EXPECT_FALSE(app.exists("none.pdf"));
    EXPECT_TRUE(boxes->shown.empty()) << boxes->texts().join('|').toStdString();
}

TEST_P(ReportWindow, NotDeliveredByPracticeTogglesTheOrderAndTheReport)
{
    startWith(3);
    const QString initial = form->SortOrder();
    trigger("WaitingBypractice1");
    EXPECT_EQ(form->SortOrder(), ReportChoice::PracticeSortOrder);
    const SearchCriteria values = form->criteria();
    EXPECT_TRUE(values.fromDateChecked);
    EXPECT_EQ(values.fromDate, QDate::currentDate().addDays(-30));
    EXPECT_EQ(values.fromTime, QTime(0, 0));
    EXPECT_EQ(values.statusIndex, 3);
    EXPECT_TRUE(values.nameFilterChecked);
    click("ReportButton");
    EXPECT_EQ(form->ShownReport(), int(ReportKind::Practice));

    trigger("WaitingBypractice1");
    EXPECT_EQ(form->SortOrder(), ReportChoice::DefaultSortOrder);
    EXPECT_EQ(initial.simplified().remove(' '), QString(ReportChoice::DefaultSortOrder).remove(' '));
    click("ReportButton");
    EXPECT_EQ(form->ShownReport(), int(ReportKind::Search));
}

TEST_P(ReportWindow, UndeliveredSummaryPreviewsAndSavesAsPdf)
{
    startWith(3);
    trigger("UndeliveredResults1");
    EXPECT_TRUE(boxes->shown.empty()) << boxes->texts().join('|').toStdString();
    EXPECT_TRUE(reportTabShown());
    EXPECT_EQ(form->ShownReport(), int(ReportKind::Undelivered));
    EXPECT_EQ(form->ReportPageCount(), 1);
    EXPECT_EQ(form->shownReportPage(), 1);

    form->saveReportPdfTo(app.filePath("summary.pdf"));
    const QString text = pdfText(app.filePath("summary.pdf"));
    EXPECT_TRUE(text.contains("Orvane - Undelivered Results Summary")) << text.toStdString();
    EXPECT_TRUE(text.contains(QRegularExpression("P01 +0 +0 +0 +0 +1 +1"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QRegularExpression("Page: +1 +of +1"))) << text.toStdString();
}

TEST_P(ReportWindow, SearchReportSavedAsPdfCarriesTheCriteriaAndPageCount)
{
    startWith(150); // more than the grid fetches at once
    click("ReportButton");
    form->saveReportPdfTo(app.filePath("search.pdf"));
    const QString text = pdfText(app.filePath("search.pdf"));
    EXPECT_TRUE(text.contains("Criteria: " + form->trackSearch().CriteriaText().trimmed()))
        << text.toStdString();
    EXPECT_TRUE(
        text.contains(QRegularExpression(QStringLiteral("Page: +%1 +of +%1").arg(form->ReportPageCount()))))
        << text.toStdString();
    EXPECT_TRUE(text.contains("Pat149"));
}

// Qt's warnings while it lives.
class QtWarnings
{
public:
    QtWarnings() { s_previous = qInstallMessageHandler(&QtWarnings::record); }
    ~QtWarnings() { qInstallMessageHandler(s_previous); }
    QStringList all() const { return s_messages; }

private:
    static void record(QtMsgType type, const QMessageLogContext &context, const QString &message)
    {
        if (type != QtDebugMsg && type != QtInfoMsg)
            s_messages << message;
        if (s_previous)
            s_previous(type, context, message);
    }
    static inline QtMessageHandler s_previous = nullptr;
    static inline QStringList s_messages;
};

// Counts progress dialogs shown while it lives.
class ProgressDialogShows : public QObject
{
public:
    ProgressDialogShows() { qApp->installEventFilter(this); }
    ~ProgressDialogShows() override { qApp->removeEventFilter(this); }
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show && qobject_cast<QProgressDialog *>(watched))
            ++count;
        return false;
    }
    int count = 0;
};

// Mended fault: the progress dialog of a large report printed "Recursive repaint detected".
TEST_P(ReportWindow, ProgressOfALargeReportRepaintsWithoutWarnings)
{
    startWith(ReportProgress::ShownAbove + 60);
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    ProgressDialogShows shows;
    const QtWarnings warnings;
    click("ReportButton");
    EXPECT_EQ(form->shownReportPage(), 1);
    EXPECT_GT(shows.count, 0); // the dialog was shown
    EXPECT_TRUE(warnings.all().isEmpty()) << warnings.all().join('\n').toStdString();
}

OVTRACK_ON_EVERY_BACKEND(ReportWindow);

TEST(ReportProgressTest, AppearsOnlyForLargeWork)
{
    QWidget window;
    {
        ReportProgress small(&window, "Preparing");
        small.update(100, ReportProgress::ShownAbove);
        EXPECT_FALSE(small.wasShown());
    }
    ReportProgress large(&window, "Preparing");
    large.update(0, ReportProgress::ShownAbove + 1);
    large.update(120, ReportProgress::ShownAbove + 1);
    ASSERT_TRUE(large.wasShown());
    auto *dialog = window.findChild<QProgressDialog *>();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->value(), 120);
    EXPECT_EQ(dialog->maximum(), ReportProgress::ShownAbove + 1);
}

} // namespace
