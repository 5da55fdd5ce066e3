#include "tests/reports/ReportFixture.h"
#include "tests/support/TestFolder.h"
#include "viewer/reports/ReportOutput.h"

#include "shared/tracking/DbConnection.h"
#include "shared/tracking/DbStatement.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

using namespace ReportFixture;

namespace {

// A SQLite database in a temporary folder with the summary's result columns over a few practices.
class SummaryQuery : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_connection.openCreating(sqliteConnectionString(m_folder.filePath(QStringLiteral("summary.db"))));
        m_connection.execute("create table t (pracid text, age integer, delivered text)");
        m_connection.execute("insert into t values ('NORTH', 0, '2026-12-01 10:00'), ('NORTH', 5, null),"
                             " ('SOUTH', 1, null), ('SOUTH', 1, null)");
    }

    std::unique_ptr<db::Cursor> summary()
    {
        m_summary.setText("select pracid, sum(age = 0) as count_today, sum(age = 1) as count_today_1,"
                          " sum(age = 2) as count_today_2, sum(age = 3) as count_today_3,"
                          " sum(age >= 4) as count_today_4_plus, count(*) as count_total,"
                          " max(delivered) as last_delivery from t group by pracid order by pracid");
        return m_summary.query();
    }

    TestFolder m_folder;
    DbConnection m_connection{m_folder.path()};
    DbStatement m_summary{m_connection};
};

TEST_F(SummaryQuery, RowsOfTheQueryPrintInTheSummary)
{
    const ReportMemoryDataSource rows = ReportMemoryDataSource::fromCursor(*summary());
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

} // namespace
