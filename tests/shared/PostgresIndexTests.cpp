#include "shared/tracking/DbConnection.h"
#include "shared/tracking/DbStatement.h"

#include "tests/shared/PostgresTrackingTest.h"

#include <gtest/gtest.h>

// On the server database the prefix searches and the message-id lookup must be answered from an
// index, not by reading the whole table.
namespace {

class PostgresIndexTest : public PostgresTrackingTest
{
protected:
    void SetUp() override
    {
        PostgresTrackingTest::SetUp();
        if (IsSkipped())
            return;
        const SqlDialect &d = db.dialect();
        for (const char *column : {"MsgID", "Patient", "PracID", "LabId"})
            db.execute(d.createIndexSql(QStringLiteral("IX_Tracking_") + column, "Tracking", column));
        db.execute("insert into Tracking (MsgID, Patient, PracID, LabId) select 'M' || n, 'Patient' || n, "
                   "'P' || (n % 500), 'L' || n from generate_series(1, 50000) as n");
        db.execute("analyze Tracking");
    }

    QString plan(const QString &sql)
    {
        DbStatement explain(db, "explain " + sql);
        const DbResult result = explain.open();
        QStringList lines;
        for (int row = 0; row < result.rowCount(); ++row)
            lines << result.value(row, "QUERY PLAN").toString();
        return lines.join('\n');
    }

    // The search's condition with a pattern in place of its parameter, for EXPLAIN.
    QString likeWith(const QString &column, const QString &pattern)
    {
        return db.dialect().likeCondition(column, "QP").replace(":QP", '\'' + pattern + '\'');
    }
};

TEST_F(PostgresIndexTest, PrefixSearchesUseTheirIndexes)
{
    for (const char *column : {"Patient", "PracID", "LabId"}) {
        const QString p = plan("select MsgID from Tracking where " + likeWith(column, "patient123%"));
        EXPECT_TRUE(p.contains(QStringLiteral("ix_tracking_") + QString(column).toLower()))
            << p.toStdString();
        EXPECT_FALSE(p.contains("Seq Scan")) << p.toStdString();
    }
}

TEST_F(PostgresIndexTest, MessageIdLookupUsesItsIndexWithoutCase)
{
    const QString p = plan(db.dialect().existingRowSql("m4711"));
    EXPECT_TRUE(p.contains("ix_tracking_msgid")) << p.toStdString();
    DbStatement lookup(db, db.dialect().existingRowSql("m4711"));
    EXPECT_EQ(lookup.open().rowCount(), 1);
}

} // namespace
