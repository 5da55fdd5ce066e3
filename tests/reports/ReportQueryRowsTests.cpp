#include "tests/reports/ReportFixture.h"
#include "tests/support/TestFolder.h"
#include "viewer/reports/ReportOutput.h"

#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QUuid>

#include <gtest/gtest.h>

#include <stdexcept>

using namespace ReportFixture;

namespace {

// A SQLite database in a temporary folder with the summary's result columns over a few practices.
class SummaryQuery : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_name = QUuid::createUuid().toString();
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
        db.setDatabaseName(m_folder.filePath(QStringLiteral("summary.db")));
        ASSERT_TRUE(db.open());
        QSqlQuery setup(db);
        ASSERT_TRUE(setup.exec("create table t (pracid text, age integer, delivered text)"));
        ASSERT_TRUE(setup.exec("insert into t values ('NORTH', 0, '2026-12-01 10:00'), ('NORTH', 5, null),"
                               " ('SOUTH', 1, null), ('SOUTH', 1, null)"));
    }
    void TearDown() override { QSqlDatabase::removeDatabase(m_name); }

    QSqlQuery summary()
    {
        QSqlQuery query(QSqlDatabase::database(m_name));
        EXPECT_TRUE(query.exec("select pracid, sum(age = 0) as count_today, sum(age = 1) as count_today_1,"
                               " sum(age = 2) as count_today_2, sum(age = 3) as count_today_3,"
                               " sum(age >= 4) as count_today_4_plus, count(*) as count_total,"
                               " max(delivered) as last_delivery from t group by pracid order by pracid"));
        return query;
    }

    TestFolder m_folder;
    QString m_name;
};

TEST_F(SummaryQuery, RowsOfTheQueryPrintInTheSummary)
{
    QSqlQuery query = summary();
    const ReportMemoryDataSource rows = ReportMemoryDataSource::fromQuery(query);
    ASSERT_EQ(rows.rowCount(), 2);
    EXPECT_EQ(rows.fieldNames(), ReportLayouts::undeliveredSummaryFields());
    EXPECT_EQ(rows.displayText(0, rows.fieldIndex("count_today_4_plus")), QStringLiteral("1"));
    EXPECT_EQ(rows.displayText(1, rows.fieldIndex("last_delivery")), QString()); // NULL prints empty

    PreparedReport report(ReportKind::Undelivered, rows);
    const QString path = m_folder.filePath(QStringLiteral("summary.pdf"));
    ReportOutput::writePdf(report.engine, path);
    const QString text = readPdf(path).pageTexts.value(0);
    EXPECT_TRUE(text.contains(
        QRegularExpression(QStringLiteral("NORTH\\s+1\\s+0\\s+0\\s+0\\s+1\\s+2\\s+2026-12-01 10:00\\n"))))
        << text.toStdString();
    EXPECT_TRUE(text.contains(QRegularExpression(QStringLiteral("SOUTH\\s+0\\s+2\\s+0\\s+0\\s+0\\s+2\\n"))))
        << text.toStdString();
}

TEST_F(SummaryQuery, AQueryThatDidNotRunIsRefusedWithTheDriversMessage)
{
    QSqlQuery query(QSqlDatabase::database(m_name));
    EXPECT_FALSE(query.exec("select x from missing_table"));
    try {
        ReportMemoryDataSource::fromQuery(query);
        FAIL() << "expected std::runtime_error";
    } catch (const std::runtime_error &error) {
        EXPECT_NE(std::string(error.what()).find("missing_table"), std::string::npos) << error.what();
    }
}

} // namespace
