#include "shared/db/sqlite/SqliteStatement.h"

#include "shared/db/sqlite/SqliteCursor.h"

#include <QStringEncoder>

#include <cstdio>

namespace db {

namespace {

// Whether anything but blanks, ";" and comments follows the first statement.
bool holdsAnotherStatement(sqlite3 *handle, const char *tail, const char *end)
{
    sqlite3_stmt *another = nullptr;
    const int rc = sqlite3_prepare_v2(handle, tail, static_cast<int>(end - tail), &another, nullptr);
    sqlite3_finalize(another);
    return rc != SQLITE_OK || another;
}

// Into the buffer of the last run: its room is kept, so most runs allocate nothing.
void writeUtf8(const QString &text, QByteArray &bytes)
{
    QStringEncoder utf8(QStringEncoder::Utf8, QStringEncoder::Flag::Stateless);
    bytes.resize(utf8.requiredSpace(text.size()));
    bytes.truncate(utf8.appendToBuffer(bytes.data(), text) - bytes.constData());
}

// "yyyy-MM-dd HH:mm:ss.zzz", the sortable text date-times are stored as (SqliteDialect::canonicalDateTime).
void writeDateTime(const QDateTime &time, QByteArray &bytes)
{
    int year = 0, month = 0, day = 0;
    time.date().getDate(&year, &month, &day);
    const QTime clock = time.time();
    bytes.resize(32);
    bytes.truncate(std::snprintf(bytes.data(), 33, "%04d-%02d-%02d %02d:%02d:%02d.%03d", year, month, day,
                                 clock.hour(), clock.minute(), clock.second(), clock.msec()));
}

} // namespace

SqliteStatement::SqliteStatement(const QString &text, std::shared_ptr<SqliteConnection> connection)
    : Statement(rewriteParameters(text, SqlSyntax::Sqlite, PlaceholderStyle::Numbered)),
      m_prepared(std::make_shared<SqlitePrepared>())
{
    sqlite3 *handle = connection->handle;
    m_prepared->connection = std::move(connection);
    const QByteArray sql = this->text().sql.toUtf8();
    const char *tail = nullptr;
    const int rc = sqlite3_prepare_v3(handle, sql.constData(), static_cast<int>(sql.size()),
                                      SQLITE_PREPARE_PERSISTENT, &m_prepared->statement, &tail);
    if (rc != SQLITE_OK)
        throw sqliteFailure(handle, rc);
    if (!m_prepared->statement)
        throw DbError(DbError::Kind::AccessLayer, QStringLiteral("The text holds no statement"));
    if (holdsAnotherStatement(handle, tail, sql.constData() + sql.size()))
        throw DbError(DbError::Kind::AccessLayer, QStringLiteral("The text holds more than one statement"));
    for (int column = 0; column < sqlite3_column_count(m_prepared->statement); ++column)
        m_prepared->columnNames << QString::fromUtf8(sqlite3_column_name(m_prepared->statement, column));
    m_prepared->bound.resize(values().size());
}

qint64 SqliteStatement::run()
{
    sqlite3 *handle = start();
    const sqlite3_int64 changesBefore = sqlite3_total_changes64(handle);
    int rc = SQLITE_ROW;
    while (rc == SQLITE_ROW)
        rc = sqlite3_step(m_prepared->statement);
    // Compared with the total so that a statement that writes no rows does not report the last one's.
    const qint64 changed = sqlite3_total_changes64(handle) == changesBefore ? 0 : sqlite3_changes64(handle);
    if (rc != SQLITE_DONE) {
        const DbError error = sqliteFailure(handle, rc);
        sqlite3_reset(m_prepared->statement);
        throw error;
    }
    sqlite3_reset(m_prepared->statement);
    return changed;
}

std::unique_ptr<Cursor> SqliteStatement::query()
{
    start();
    return std::make_unique<SqliteCursor>(m_prepared);
}

sqlite3 *SqliteStatement::start()
{
    sqlite3 *handle = m_prepared->connection->handle;
    if (!handle)
        throw DbError(DbError::Kind::AccessLayer, QStringLiteral("The statement's session has closed"));
    m_prepared->connection->endRead();
    for (size_t parameter = 0; parameter < values().size(); ++parameter) {
        const int number = static_cast<int>(parameter) + 1; // ?N names the N-th parameter
        if (const int rc = bindParameter(number, values()[parameter]); rc != SQLITE_OK)
            throw sqliteFailure(handle, rc);
    }
    return handle;
}

int SqliteStatement::bindParameter(int number, const DbValue &value)
{
    sqlite3_stmt *statement = m_prepared->statement;
    QByteArray &bytes = m_prepared->bound[static_cast<size_t>(number - 1)];
    if (const auto *text = std::get_if<QString>(&value)) {
        if (text->contains(QChar(0)))
            throw DbError(DbError::Kind::Data, QStringLiteral("A text holds a NUL character"));
        writeUtf8(*text, bytes);
    } else if (const auto *time = std::get_if<QDateTime>(&value); time && time->isValid()) {
        writeDateTime(*time, bytes);
    } else if (const auto *raw = std::get_if<QByteArray>(&value)) {
        bytes = *raw; // shared, not copied
        return sqlite3_bind_blob64(statement, number, bytes.constData(), bytes.size(), SQLITE_STATIC);
    } else if (const auto *integer = std::get_if<qint64>(&value)) {
        return sqlite3_bind_int64(statement, number, *integer);
    } else {
        return sqlite3_bind_null(statement, number);
    }
    return sqlite3_bind_text64(statement, number, bytes.constData(), bytes.size(), SQLITE_STATIC, SQLITE_UTF8);
}

} // namespace db
