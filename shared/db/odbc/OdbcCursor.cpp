#include "shared/db/odbc/OdbcCursor.h"

#include <algorithm>

namespace db {

namespace {

// The C type a column is read as: integers, wall-clock times and bytes as such, the rest as text.
SQLSMALLINT readType(SQLSMALLINT sqlType)
{
    const auto among = [sqlType](std::initializer_list<SQLSMALLINT> types) {
        return std::find(types.begin(), types.end(), sqlType) != types.end();
    };
    if (among({SQL_TINYINT, SQL_SMALLINT, SQL_INTEGER, SQL_BIGINT}))
        return SQL_C_SBIGINT;
    if (among({SQL_TYPE_TIMESTAMP, SQL_TYPE_DATE, SQL_TIMESTAMP, SQL_DATE}))
        return SQL_C_TYPE_TIMESTAMP;
    return among({SQL_BINARY, SQL_VARBINARY, SQL_LONGVARBINARY}) ? SQL_C_BINARY : SQL_C_WCHAR;
}

} // namespace

OdbcCursor::OdbcCursor(std::shared_ptr<OdbcLink> link, std::shared_ptr<OdbcStatementHandle> statement)
    : m_link(std::move(link)), m_statement(std::move(statement))
{
    const SQLHSTMT handle = m_statement->handle;
    SQLSMALLINT columns = 0;
    m_link->check(SQLNumResultCols(handle, &columns), SQL_HANDLE_STMT, handle);
    for (SQLUSMALLINT column = 1; column <= columns; ++column) {
        SQLWCHAR name[256] = {};
        SQLSMALLINT length = 0, type = 0, digits = 0, nullable = 0;
        SQLULEN size = 0;
        m_link->check(SQLDescribeColW(handle, column, name, 256, &length, &type, &size, &digits, &nullable),
                      SQL_HANDLE_STMT, handle);
        m_names << QString::fromUtf16(reinterpret_cast<const char16_t *>(name),
                                      std::min<qsizetype>(length, 255));
        m_readTypes.push_back(readType(type));
    }
    m_row.resize(m_readTypes.size());
    m_link->startRead(this);
}

bool OdbcCursor::next()
{
    if (m_state == State::Interrupted)
        throw DbError(DbError::Kind::Other,
                      QString::fromLatin1(ReadEndedMessage));
    if (m_state == State::Ended)
        return false;
    try {
        const SQLRETURN result = SQLFetch(m_statement->handle);
        if (result == SQL_NO_DATA) {
            close(State::Ended);
            return false;
        }
        m_link->check(result, SQL_HANDLE_STMT, m_statement->handle);
        for (size_t column = 0; column < m_readTypes.size(); ++column)
            m_row[column] = read(static_cast<SQLUSMALLINT>(column + 1), m_readTypes[column]);
    } catch (const DbError &) {
        close(State::Interrupted); // a failed read cannot go on, nor look complete
        throw;
    }
    return true;
}

void OdbcCursor::cancel()
{
    if (m_state == State::Reading)
        close(State::Ended);
}

void OdbcCursor::interrupt()
{
    close(State::Interrupted);
}

void OdbcCursor::close(State state)
{
    m_state = state;
    m_row.assign(m_row.size(), DbValue{});
    m_link->readEnded(this);
    // A driver that streams rows (FreeTDS) stops the server's sending at the cancel.
    if (m_statement->handle != SQL_NULL_HSTMT && m_link->isUsable()) {
        SQLCancel(m_statement->handle);
        SQLFreeStmt(m_statement->handle, SQL_CLOSE);
    }
}

DbValue OdbcCursor::read(SQLUSMALLINT column, SQLSMALLINT cType)
{
    const SQLHSTMT handle = m_statement->handle;
    SQLLEN indicator = 0;
    switch (cType) {
    case SQL_C_SBIGINT: {
        qint64 number = 0;
        m_link->check(SQLGetData(handle, column, SQL_C_SBIGINT, &number, sizeof number, &indicator),
                      SQL_HANDLE_STMT, handle);
        return indicator == SQL_NULL_DATA ? DbValue{} : DbValue{number};
    }
    case SQL_C_TYPE_TIMESTAMP: {
        SQL_TIMESTAMP_STRUCT time = {};
        m_link->check(SQLGetData(handle, column, SQL_C_TYPE_TIMESTAMP, &time, sizeof time, &indicator),
                      SQL_HANDLE_STMT, handle);
        if (indicator == SQL_NULL_DATA)
            return {};
        // Stored times are wall-clock values: labelled UTC, never moved through local time.
        return QDateTime(
            QDate(time.year, time.month, time.day),
            QTime(time.hour, time.minute, time.second, static_cast<int>(time.fraction / 1000000)), Qt::UTC);
    }
    }
    QByteArray bytes;
    if (!readChunks(column, cType, bytes))
        return {};
    if (cType == SQL_C_BINARY)
        return bytes;
    return QString::fromUtf16(reinterpret_cast<const char16_t *>(bytes.constData()), bytes.size() / 2);
}

bool OdbcCursor::readChunks(SQLUSMALLINT column, SQLSMALLINT cType, QByteArray &value)
{
    // Text chunks end in a terminator the driver counts out of the length.
    const SQLLEN terminator = cType == SQL_C_WCHAR ? sizeof(SQLWCHAR) : 0;
    char chunk[16384];
    for (;;) {
        SQLLEN indicator = 0;
        const SQLRETURN result =
            SQLGetData(m_statement->handle, column, cType, chunk, sizeof chunk, &indicator);
        if (result == SQL_NO_DATA)
            return true;
        m_link->check(result, SQL_HANDLE_STMT, m_statement->handle);
        if (indicator == SQL_NULL_DATA)
            return false;
        const SQLLEN room = SQLLEN(sizeof chunk) - terminator;
        const bool whole = indicator != SQL_NO_TOTAL && indicator <= room;
        value.append(chunk, whole ? indicator : room);
        if (whole)
            return true;
    }
}

} // namespace db
