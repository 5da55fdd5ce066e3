#pragma once

#include "viewer/search/TrackFields.h"

#include <array>

class PostgresRow;
class SqlDialect;

// Fills a row builder from the row a query on Qt's PostgreSQL driver stands on, straight from the
// server's text: texts as views of libpq's UTF-8, date-times parsed from their text, with no QVariant
// or QString on the way. The texts stay valid until the query moves on.
void readPostgresTrackRow(const PostgresRow &source, const std::array<int, TrackFieldCount> &columnOfField,
                          const SqlDialect &dialect, TrackRowStore::RowBuilder &row);
