#pragma once

#include "viewer/search/TrackFields.h"

#include "shared/db/Session.h"

#include <QString>

#include <array>
#include <memory>

class SqlDialect;

// Steps a TrackQuery's cursor row by row into row builders. Once the last row has been read, or
// reading fails, or finish() is called, the cursor is ended, so that the session is free and no read
// transaction stays open on it.
class TrackResultReader
{
public:
    // Throws DbError naming a field the result lacks.
    TrackResultReader(std::unique_ptr<db::Cursor> cursor, std::shared_ptr<const SqlDialect> dialect);
    ~TrackResultReader();
    TrackResultReader(TrackResultReader &&) noexcept;

    // Fills `row` with the next row; false at the end of the result or on failure (see error()).
    bool next(TrackRowStore::RowBuilder &row);
    bool isOpen() const { return m_cursor != nullptr; }
    void finish();
    // The failure that ended reading early, empty when none.
    const QString &error() const { return m_error; }

private:
    TrackRowStore::WallTime timeAt(int column, QByteArrayView utf8) const;

    std::unique_ptr<db::Cursor> m_cursor;
    std::shared_ptr<const SqlDialect> m_dialect;
    std::array<int, TrackFieldCount> m_columnOfField{}; // cursor column per stored field, -1 for computed
    QString m_error;
};
