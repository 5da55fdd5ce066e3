#include "shared/tracking/SqliteDialect.h"

#include "tests/support/TrackingTestDatabase.h"
#include "tests/viewergui/TrackFormFixture.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>

namespace {

constexpr int Rows = int(TQZTrackForm::LargeCopyRows) + 1;

// A window whose grid holds every row of a real SQLite file of just over the size a copy asks about.
class LargeGrid : public TrackFormTest
{
protected:
    void SetUp() override
    {
        TrackFormTest::SetUp();
        TrackingTestDatabase db(app.path());
        // One statement makes the rows, so the table is ready in a fraction of a second.
        db.connection().execute(
            QStringLiteral("insert into Tracking (MsgID, Patient, PracID, QZServerReceiveTime) "
                           "with recursive n(i) as (select 1 union all select i + 1 from n where i < %1) "
                           "select 'M' || i, 'Bulk', 'P01', '%2' from n")
                .arg(Rows)
                .arg(SqliteDialect::canonicalDateTime(TrackingTestDatabase::at(2024, 3, 1, 9))));
        form = start({"", "", db.connectionString()});
        child<QCheckBox>(*form, "NameFilterCheck")->setChecked(true);
        child<QLineEdit>(*form, "rsNameFilterEdit")->setText("Bulk");
        child<QPushButton>(*form, "PerformQueryButton")->click();
        form->trackModel().fetchAll();
        ASSERT_EQ(form->trackModel().rowCount(), Rows);
    }

    std::unique_ptr<TQZTrackForm> form;
};

// Mended fault: Ctrl+A, Ctrl+C on a large result froze the window and kept hundreds of MB.
TEST_F(LargeGrid, CopyOfMoreRowsThanTheLimitAsksFirstAndCancelCopiesNothing)
{
    QApplication::clipboard()->setText("before");
    form->grid()->selectAll();
    boxes->answers = {QMessageBox::Cancel};

    form->copySelectedCells();

    ASSERT_EQ(boxes->shown.size(), 1u);
    EXPECT_EQ(boxes->shown[0].buttons, QMessageBox::Ok | QMessageBox::Cancel);
    EXPECT_TRUE(boxes->shown[0].text.contains(QString::number(Rows))) << boxes->shown[0].text.toStdString();
    EXPECT_EQ(QApplication::clipboard()->text(), "before");
}

TEST_F(LargeGrid, CopyUpToTheLimitDoesNotAsk)
{
    form->grid()->selectionModel()->select(
        QItemSelection(form->trackModel().index(0, 1), form->trackModel().index(Rows - 2, 1)),
        QItemSelectionModel::Select);

    form->copySelectedCells();

    EXPECT_TRUE(boxes->shown.empty());
    EXPECT_EQ(QApplication::clipboard()->text().count(u'\n'), Rows - 2);
}

// Mended fault: the count panel was 80 pixels wide and cut "Count: 100001".
TEST_F(LargeGrid, CountPanelShowsTheWholeCount)
{
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    const QLabel *count = child<QLabel>(*form, "StatusPanel1");
    EXPECT_EQ(count->text(), "Count: " + QString::number(Rows));
    EXPECT_GE(count->contentsRect().width(), count->fontMetrics().horizontalAdvance(count->text()));
}

} // namespace
