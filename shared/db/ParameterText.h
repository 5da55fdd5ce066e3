#pragma once

#include <QString>
#include <QStringList>

#include <vector>

// The lexical rules of a statement text: where a ":Name" is a parameter and where it is only
// characters of a string, a quoted name, a comment or a cast.
enum class SqlSyntax
{
    Sqlite,     // '…' strings, "…" and […] names, -- and /* */ comments
    PostgreSql, // '…' strings, "…" names, comments (nested), :: casts, E'…' strings with backslash
                // escapes, $tag$…$tag$ strings; "[" is a subscript, "[1:n]" a slice
    SqlServer   // as SQLite
};

// How a backend writes its parameters.
enum class PlaceholderStyle
{
    Numbered,  // ?1, ?2 … (SQLite): a name used twice is one parameter
    Dollar,    // $1, $2 … (libpq): every use is a parameter of its own, whose type the server infers
               // from where it stands (one name in two places may need two types)
    Positional // ? (ODBC): every use is a parameter of its own
};

// A statement text with ":Name" parameters rewritten into a backend's placeholders. Names are
// compared without regard to case; a name starts with a letter or "_".
struct ParameterText
{
    QString sql;
    QStringList names; // the distinct names, as first written, in order of first use
    // For each placeholder in `sql`, in order, the index of its name in `names`.
    std::vector<int> placeholders;
};

ParameterText rewriteParameters(const QString &text, SqlSyntax syntax, PlaceholderStyle style);
