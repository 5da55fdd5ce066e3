#include "shared/db/odbc/OdbcParameters.h"

#include "shared/db/DbError.h"

namespace db {

namespace {

// Longer values go as the long types, which SQL Server takes as nvarchar(max) and varbinary(max).
constexpr qsizetype LongTextCharacters = 4000;
constexpr qsizetype LongBytes = 8000;

} // namespace

OdbcParameters::OdbcParameters(std::vector<DbValue> values)
{
    m_buffers.reserve(values.size());
    for (DbValue &value : values) {
        if (const QString *text = std::get_if<QString>(&value); text && text->contains(QChar(0)))
            throw DbError(DbError::Kind::Data, QStringLiteral("A text value holds a NUL character"));
        m_buffers.push_back({std::move(value)});
    }
}

SQLRETURN OdbcParameters::bind(SQLHSTMT statement)
{
    for (size_t i = 0; i < m_buffers.size(); ++i) {
        Buffer &buffer = m_buffers[i];
        SQLSMALLINT cType = SQL_C_WCHAR, sqlType = SQL_WVARCHAR, digits = 0;
        SQLULEN size = 1;
        SQLPOINTER data = nullptr;
        SQLLEN length = 0;
        buffer.indicator = SQL_NULL_DATA;
        if (const auto *text = std::get_if<QString>(&buffer.value)) {
            sqlType = text->size() > LongTextCharacters ? SQL_WLONGVARCHAR : SQL_WVARCHAR;
            size = std::max<SQLULEN>(text->size(), 1);
            data = const_cast<ushort *>(text->utf16());
            buffer.indicator = length = text->size() * SQLLEN(sizeof(SQLWCHAR));
        } else if (auto *number = std::get_if<qint64>(&buffer.value)) {
            cType = SQL_C_SBIGINT;
            sqlType = SQL_BIGINT;
            size = 19;
            data = number;
            buffer.indicator = length = sizeof *number;
        } else if (const auto *time = std::get_if<QDateTime>(&buffer.value)) {
            cType = SQL_C_TYPE_TIMESTAMP;
            sqlType = SQL_TYPE_TIMESTAMP;
            size = 23;
            digits = 3;
            data = &buffer.time;
            if (time->isValid()) {
                // The wall clock as labelled, whatever the label: no zone conversion.
                const QDate date = time->date();
                const QTime clock = time->time();
                buffer.time = {SQLSMALLINT(date.year()),           SQLUSMALLINT(date.month()),
                               SQLUSMALLINT(date.day()),           SQLUSMALLINT(clock.hour()),
                               SQLUSMALLINT(clock.minute()),       SQLUSMALLINT(clock.second()),
                               SQLUINTEGER(clock.msec()) * 1000000};
                buffer.indicator = length = sizeof buffer.time;
            }
        } else if (auto *bytes = std::get_if<QByteArray>(&buffer.value)) {
            cType = SQL_C_BINARY;
            sqlType = bytes->size() > LongBytes ? SQL_LONGVARBINARY : SQL_VARBINARY;
            size = std::max<SQLULEN>(bytes->size(), 1);
            data = bytes->data();
            buffer.indicator = length = bytes->size();
        }
        const SQLRETURN result = SQLBindParameter(statement, SQLUSMALLINT(i + 1), SQL_PARAM_INPUT, cType,
                                                  sqlType, size, digits, data, length, &buffer.indicator);
        if (!SQL_SUCCEEDED(result))
            return result;
    }
    return SQL_SUCCESS;
}

} // namespace db
