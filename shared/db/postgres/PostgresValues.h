#pragma once

#include "shared/db/DbValue.h"

#include <vector>

struct pg_result;

namespace db {

// Parameter values as libpq takes them: text the server types itself, bytes as binary bytea, NULL
// as a null pointer. The buffers stay with the statement from run to run.
class PostgresParameters
{
public:
    explicit PostgresParameters(size_t count);

    // Throws DbError (Data) for a text holding a NUL, which libpq would cut short without a word.
    void set(size_t parameter, const DbValue &value);
    int count() const { return static_cast<int>(m_pointers.size()); }
    const char *const *values() const { return m_pointers.data(); }
    const int *lengths() const { return m_lengths.data(); }
    const int *formats() const { return m_formats.data(); }

private:
    std::vector<QByteArray> m_texts;
    std::vector<const char *> m_pointers;
    std::vector<int> m_lengths;
    std::vector<int> m_formats;
};

// A field of a text-format result as its column's type reads (see DbValue).
DbValue postgresValue(const pg_result *result, int row, int column);

} // namespace db
