#include "shared/db/ParameterText.h"

#include <gtest/gtest.h>

namespace {

struct Case
{
    const char *text;
    SqlSyntax syntax;
    const char *numbered; // as SQLite's "?N" would write it
    QStringList names;
};

// Each row is one lexical rule the rewriting must keep: a colon that is no parameter stays as
// written, and a parameter after a quote or a comment is still found.
TEST(ParameterText, ParametersAreFoundOnlyWhereTheServerWouldReadThem)
{
    const Case cases[] = {
        {"select :a, :B, :a", SqlSyntax::Sqlite, "select ?1, ?2, ?1", {"a", "B"}},
        {"where x = :Id and y = :id", SqlSyntax::Sqlite, "where x = ?1 and y = ?1", {"Id"}},
        {"select 'at 10:15 '':x' || :y", SqlSyntax::Sqlite, "select 'at 10:15 '':x' || ?1", {"y"}},
        {"select \":x\", [:y], :z", SqlSyntax::Sqlite, "select \":x\", [:y], ?1", {"z"}},
        {"select [a:b], :z", SqlSyntax::SqlServer, "select [a:b], ?1", {"z"}},
        {"select x::text, :y::int", SqlSyntax::PostgreSql, "select x::text, ?1::int", {"y"}},
        {"-- it's :x\nselect :y", SqlSyntax::Sqlite, "-- it's :x\nselect ?1", {"y"}},
        {"/* don't :x */ select :y", SqlSyntax::PostgreSql, "/* don't :x */ select ?1", {"y"}},
        {"/* a /* nested :x */ still */ :y", SqlSyntax::PostgreSql, "/* a /* nested :x */ still */ ?1", {"y"}},
        {"select $$ :x ' $$, :y", SqlSyntax::PostgreSql, "select $$ :x ' $$, ?1", {"y"}},
        {"select $body$ :x $$ $body$, :y", SqlSyntax::PostgreSql, "select $body$ :x $$ $body$, ?1", {"y"}},
        {"select E'\\' :x', :y", SqlSyntax::PostgreSql, "select E'\\' :x', ?1", {"y"}},
        {"select a[1:n], :y", SqlSyntax::PostgreSql, "select a[1?1], ?2", {"n", "y"}},
        {"select 'unterminated :x", SqlSyntax::Sqlite, "select 'unterminated :x", {}},
        {"select :_x1, :1", SqlSyntax::Sqlite, "select ?1, :1", {"_x1"}},
        {"select :Größe", SqlSyntax::Sqlite, "select ?1", {"Größe"}},
    };
    for (const Case &c : cases) {
        const ParameterText rewritten =
            rewriteParameters(QString::fromUtf8(c.text), c.syntax, PlaceholderStyle::Numbered);
        EXPECT_EQ(rewritten.sql, QString::fromUtf8(c.numbered)) << c.text;
        EXPECT_EQ(rewritten.names, c.names) << c.text;
    }
}

TEST(ParameterText, EachBackendWritesItsOwnPlaceholders)
{
    const QString text = QStringLiteral("update t set a = :A, b = :B where a = :a");
    const ParameterText numbered = rewriteParameters(text, SqlSyntax::Sqlite, PlaceholderStyle::Numbered);
    EXPECT_EQ(numbered.sql, QStringLiteral("update t set a = ?1, b = ?2 where a = ?1"));
    // libpq and ODBC: every use a placeholder of its own, mapped to its name.
    const ParameterText dollar = rewriteParameters(text, SqlSyntax::PostgreSql, PlaceholderStyle::Dollar);
    EXPECT_EQ(dollar.sql, QStringLiteral("update t set a = $1, b = $2 where a = $3"));
    EXPECT_EQ(dollar.placeholders, (std::vector<int>{0, 1, 0}));
    const ParameterText positional = rewriteParameters(text, SqlSyntax::SqlServer, PlaceholderStyle::Positional);
    EXPECT_EQ(positional.sql, QStringLiteral("update t set a = ?, b = ? where a = ?"));
    EXPECT_EQ(positional.placeholders, (std::vector<int>{0, 1, 0}));
    EXPECT_EQ(positional.names, (QStringList{"A", "B"}));
}

} // namespace
