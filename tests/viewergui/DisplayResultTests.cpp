#include "shared/tracking/DbStatement.h"

#include "tests/support/TrackingTestDatabase.h"
#include "tests/viewergui/TrackFormFixture.h"

#include <QAction>
#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>

namespace {

using DB = TrackingTestDatabase;

// A window over a database whose first message has stored content and whose second has none
// anywhere (an empty messaging-server folder).
class DisplayResult : public TrackFormBackendTest
{
protected:
    void SetUp() override
    {
        TrackFormBackendTest::SetUp();
        if (IsSkipped())
            return;
        db = std::make_unique<DB>(app.path(), "tracking.db", true, backend());
        for (const char *id : {"M1", "M2"})
            db->insert({{"MsgID", id},
                        {"Patient", "Smith"},
                        {"PracID", "P01"},
                        {"Filename", QString(id) + ".hl7"},
                        {"QZServerReceiveTime", DB::at(2024, 3, 1, 9)}});
        DbStatement(db->connection(), db->connection().dialect().createContentSql()).execute();
        DbStatement store(db->connection(), "insert into HM_CONTENT (MsgID, HMData) values ('M1', :data)");
        store.bind("data", ::ParamType::LongText, QByteArray("MSH|content"));
        store.execute();
        userPath = app.makeFolder("server");
        form = start({userPath, "", db->connectionString()});
        child<QCheckBox>(*form, "NameFilterCheck")->setChecked(true);
        child<QLineEdit>(*form, "rsNameFilterEdit")->setText("Smith");
        child<QPushButton>(*form, "PerformQueryButton")->click();
        ASSERT_EQ(form->trackModel().rowCount(), 2);
    }

    QString userPath;
    std::unique_ptr<DB> db;
    std::unique_ptr<TQZTrackForm> form;
};

TEST_P(DisplayResult, StoredContentIsWrittenOpenedAndDeletedAtClose)
{
    makeCurrent(*form, "M1");
    child<QAction>(*form, "OpenMessage1")->trigger();
    EXPECT_TRUE(boxes->shown.empty()) << boxes->texts().join('|').toStdString();
    ASSERT_EQ(launcher->opened.size(), 1);
    const QString file = launcher->opened[0];
    EXPECT_TRUE(file.endsWith("/M1.hl7")) << file.toStdString();
    QFile content(file);
    ASSERT_TRUE(content.open(QIODevice::ReadOnly));
    EXPECT_EQ(content.readAll(), "MSH|content");
    content.close();
    EXPECT_TRUE(form->TempFiles().contains(file));

    form->close();
    EXPECT_FALSE(QFile::exists(file));
}

TEST_P(DisplayResult, MissingContentSaysSoAndOpensNothing)
{
    makeCurrent(*form, "M2");
    child<QPushButton>(*form, "DisplayResultButton")->click();
    EXPECT_TRUE(launcher->opened.isEmpty());
    ASSERT_EQ(boxes->shown.size(), 1u);
    EXPECT_TRUE(boxes->shown[0].text.startsWith("Message contents for "))
        << boxes->shown[0].text.toStdString();
    EXPECT_TRUE(boxes->shown[0].text.endsWith("/holding/M2 not available."))
        << boxes->shown[0].text.toStdString();
}

TEST_P(DisplayResult, DoubleClickOpensTheRow)
{
    makeCurrent(*form, "M1");
    emit form->grid()->doubleClicked(form->grid()->currentIndex());
    EXPECT_EQ(launcher->opened.size(), 1);
}

OVTRACK_ON_EVERY_BACKEND(DisplayResult);

} // namespace
