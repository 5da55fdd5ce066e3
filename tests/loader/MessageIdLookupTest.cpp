#include "loader/MessageIdLookup.h"

#include "shared/tracking/DbConnection.h"
#include "shared/tracking/SqlDialect.h"

#include "tests/support/TestFolder.h"

#include <gtest/gtest.h>

namespace {

TEST(MessageIdLookupTest, EmbeddedDatabaseKeepsOneBoundStatementForEveryId)
{
    TestFolder folder;
    DbConnection connection(folder.path());
    connection.openCreating(sqliteConnectionString(folder.filePath(QStringLiteral("t.db"))));
    connection.execute(connection.dialect().createTrackingSql());
    connection.execute(
        QStringLiteral("INSERT INTO Tracking (MsgID, Sender) VALUES ('O''Brien', 'a'), ('b', 'b')"));

    MessageIdLookup lookup(connection, &SqlDialect::existingRowSql, &SqlDialect::existingRowBoundSql);
    EXPECT_EQ(lookup.open(QStringLiteral("O'Brien")).text(0, QStringLiteral("Sender")), QStringLiteral("a"));
    const QString text = lookup.statement().text();
    EXPECT_EQ(text, connection.dialect().existingRowBoundSql());
    EXPECT_FALSE(text.contains(QStringLiteral("Brien")));
    for (const QString &id :
         {QStringLiteral("b"), QStringLiteral("x' or '1'='1"), QStringLiteral("O'Brien")}) {
        const DbResult rows = lookup.open(id);
        EXPECT_EQ(rows.rowCount(), id.contains(u' ') ? 0 : 1) << id.toStdString();
        EXPECT_EQ(lookup.statement().text(), text);
    }

    // A new connection string brings the dialect's text again, prepared on the new session.
    connection.open(sqliteConnectionString(folder.filePath(QStringLiteral("t.db"))));
    EXPECT_EQ(lookup.open(QStringLiteral("b")).text(0, QStringLiteral("Sender")), QStringLiteral("b"));
    EXPECT_EQ(lookup.statement().text(), text);
}

} // namespace
