#pragma once

#include "viewer/search/TrackFields.h"

#include <QSqlQuery>
#include <QString>

#include <array>
#include <memory>

struct sqlite3_stmt;
class SqlDialect;

// Steps a QSQLITE result's own statement through the SQLite C API after Qt has read its first row:
// the texts go into the row builder as views of SQLite's UTF-8 with no conversion, which makes
// reading a large snapshot several times faster than through QVariant and QString.
class SqliteTrackRows
{
public:
    // Null unless the query runs on the SQLite driver and is positioned on its first row.
    static std::unique_ptr<SqliteTrackRows> attach(const QSqlQuery &query,
                                                   const std::array<int, TrackFieldCount> &columnOfField);

    // The next row; false at the end or on failure, with `error` set to SQLite's message.
    // The texts stay valid until the next call.
    bool next(TrackRowStore::RowBuilder &row, const SqlDialect &dialect, QString &error);

private:
    SqliteTrackRows(sqlite3_stmt *statement, const std::array<int, TrackFieldCount> &columnOfField)
        : m_statement(statement), m_columnOfField(columnOfField)
    {}

    // Date-times are kept as text by this system; numbers are read as the dialect reads them.
    TrackRowStore::WallTime timeAt(int column, const SqlDialect &dialect) const;

    sqlite3_stmt *m_statement;
    std::array<int, TrackFieldCount> m_columnOfField;
};
