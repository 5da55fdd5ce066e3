#include "shared/db/odbc/OdbcCursor.h"

namespace db {

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
        m_names << QString::fromUtf16(reinterpret_cast<const char16_t *>(name), std::min<qsizetype>(length, 255));
        switch (type) {
        case SQL_TINYINT: case SQL_SMALLINT: case SQL_INTEGER: case SQL_BIGINT:
            m_readers.push_back(Reader::Integer);
            break;
        case SQL_TYPE_TIMESTAMP: case SQL_TYPE_DATE: case SQL_TIMESTAMP: case SQL_DATE:
            m_readers.push_back(Reader::DateTime);
            break;
        case SQL_BINARY: case SQL_VARBINARY: case SQL_LONGVARBINARY:
            m_readers.push_back(Reader::Bytes);
            break;
        default:
            m_readers.push_back(Reader::Text);
        }
    }
    m_row.resize(m_readers.size());
    m_link->startRead(this);
}

bool OdbcCursor::next()
{
    if (m_state == State::Interrupted)
        throw DbError(DbError::Kind::Other,
                      QStringLiteral("The read was ended before its last row by another use of its session"));
    if (m_state == State::Ended)
        return false;
    try {
        const SQLRETURN result = SQLFetch(m_statement->handle);
        if (result == SQL_NO_DATA) {
            close(State::Ended);
            return false;
        }
        m_link->check(result, SQL_HANDLE_STMT, m_statement->handle);
        for (size_t column = 0; column < m_readers.size(); ++column)
            m_row[column] = read(static_cast<SQLUSMALLINT>(column + 1), m_readers[column]);
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

DbValue OdbcCursor::read(SQLUSMALLINT column, Reader reader)
{
    const SQLHSTMT handle = m_statement->handle;
    SQLLEN indicator = 0;
    switch (reader) {
    case Reader::Integer: {
        qint64 number = 0;
        m_link->check(SQLGetData(handle, column, SQL_C_SBIGINT, &number, sizeof number, &indicator),
                      SQL_HANDLE_STMT, handle);
        return indicator == SQL_NULL_DATA ? DbValue{} : DbValue{number};
    }
    case Reader::DateTime: {
        SQL_TIMESTAMP_STRUCT time = {};
        m_link->check(SQLGetData(handle, column, SQL_C_TYPE_TIMESTAMP, &time, sizeof time, &indicator),
                      SQL_HANDLE_STMT, handle);
        if (indicator == SQL_NULL_DATA)
            return {};
        // Stored times are wall-clock values: labelled UTC, never moved through local time.
        return QDateTime(QDate(time.year, time.month, time.day),
                         QTime(time.hour, time.minute, time.second, static_cast<int>(time.fraction / 1000000)),
                         Qt::UTC);
    }
    case Reader::Bytes: {
        QByteArray bytes;
        return readChunks(column, SQL_C_BINARY, bytes) ? DbValue{bytes} : DbValue{};
    }
    case Reader::Text:
        break;
    }
    QByteArray utf16;
    if (!readChunks(column, SQL_C_WCHAR, utf16))
        return {};
    return QString::fromUtf16(reinterpret_cast<const char16_t *>(utf16.constData()), utf16.size() / 2);
}

bool OdbcCursor::readChunks(SQLUSMALLINT column, SQLSMALLINT cType, QByteArray &value)
{
    // Text chunks end in a terminator the driver counts out of the length.
    const SQLLEN terminator = cType == SQL_C_WCHAR ? sizeof(SQLWCHAR) : 0;
    char chunk[16384];
    for (;;) {
        SQLLEN indicator = 0;
        const SQLRETURN result = SQLGetData(m_statement->handle, column, cType, chunk, sizeof chunk, &indicator);
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
