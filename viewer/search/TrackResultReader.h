#pragma once

#include "viewer/search/TrackFields.h"

#include <QByteArray>
#include <QSqlQuery>
#include <QString>

#include <array>
#include <functional>
#include <memory>

class PostgresNativeQuery;
class SqlDialect;
class SqliteTrackRows;

// Steps an executed TrackQuery row by row into row builders. Once the last row has been read, or
// reading fails, or finish() is called, the statement is finished, so that no read transaction stays
// open on the connection.
class TrackResultReader
{
public:
    // Throws DbError naming a field the result lacks.
    TrackResultReader(QSqlQuery query, std::shared_ptr<const SqlDialect> dialect);
    TrackResultReader(std::unique_ptr<PostgresNativeQuery> rows, std::shared_ptr<const SqlDialect> dialect);
    ~TrackResultReader();
    TrackResultReader(TrackResultReader &&) noexcept;

    // Fills `row` with the next row; false at the end of the result or on failure (see error()).
    // The row's texts stay valid until the next call.
    bool next(TrackRowStore::RowBuilder &row);
    bool isOpen() const { return m_open; }
    void finish();
    // The failure that ended reading early, empty when none.
    const QString &error() const { return m_error; }

private:
    void mapFields(const std::function<int(QLatin1String)> &columnOf);

    QSqlQuery m_query;
    std::shared_ptr<const SqlDialect> m_dialect;
    std::array<int, TrackFieldCount> m_columnOfField{}; // record index per stored field, -1 for computed
    std::array<QByteArray, TrackRowStore::TextSlots> m_texts;
    // On SQLite, rows after the first are stepped through the C API (Qt reads the first one).
    std::unique_ptr<SqliteTrackRows> m_sqlite;
    // On PostgreSQL the statement runs through libpq itself, and every row comes from there.
    std::unique_ptr<PostgresNativeQuery> m_postgres;
    qint64 m_rowsRead = 0;
    bool m_open = true;
    QString m_error;
};
