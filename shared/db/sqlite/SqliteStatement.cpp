#include "shared/db/sqlite/SqliteStatement.h"

#include <QLocale>
#include <QStringEncoder>

#include <cstdio>

namespace db {

namespace {

// A prepared statement and the bytes a run of it reads: shared by its Statement and its cursor,
// either of which may be dropped first.
struct Prepared
{
    std::shared_ptr<SqliteConnection> connection;
    sqlite3_stmt *statement = nullptr;
    QStringList columnNames;
    std::vector<QByteArray> bound; // per parameter; the room is kept, so most runs allocate nothing

    ~Prepared() { sqlite3_finalize(statement); } // once the session closed, the last one closes the file
};

DbError::Kind failureKind(int code)
{
    if (code == SQLITE_CONSTRAINT_PRIMARYKEY || code == SQLITE_CONSTRAINT_UNIQUE)
        return DbError::Kind::DuplicateKey;
    switch (code & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED: // another session holds the lock: a new attempt may pass
        return DbError::Kind::ConnectionLost;
    case SQLITE_TOOBIG:
    case SQLITE_MISMATCH:
    case SQLITE_RANGE:
    case SQLITE_CONSTRAINT:
        return DbError::Kind::Data;
    default:
        return DbError::Kind::Other;
    }
}

// Whether anything but blanks, ";" and comments follows the first statement.
bool holdsAnotherStatement(sqlite3 *handle, const char *tail, const char *end)
{
    sqlite3_stmt *another = nullptr;
    const int rc = sqlite3_prepare_v2(handle, tail, static_cast<int>(end - tail), &another, nullptr);
    sqlite3_finalize(another);
    return rc != SQLITE_OK || another;
}

void writeUtf8(const QString &text, QByteArray &bytes)
{
    QStringEncoder utf8(QStringEncoder::Utf8, QStringEncoder::Flag::Stateless);
    bytes.resize(utf8.requiredSpace(text.size()));
    bytes.truncate(utf8.appendToBuffer(bytes.data(), text) - bytes.constData());
}

// "yyyy-MM-dd HH:mm:ss.zzz", as date-times are stored (SqliteDialect::canonicalDateTime).
void writeDateTime(const QDateTime &value, QByteArray &bytes)
{
    int year = 0, month = 0, day = 0;
    value.date().getDate(&year, &month, &day);
    const QTime time = value.time();
    bytes.resize(32);
    bytes.truncate(std::snprintf(bytes.data(), 33, "%04d-%02d-%02d %02d:%02d:%02d.%03d", year, month, day,
                                 time.hour(), time.minute(), time.second(), time.msec()));
}

} // namespace

// The rows of a statement; while it reads, it is its session's open read.
class SqliteCursor final : public Cursor
{
public:
    // Steps to the first row. Throws DbError.
    explicit SqliteCursor(std::shared_ptr<Prepared> prepared) : m_prepared(std::move(prepared))
    {
        m_prepared->connection->openRead = this;
        m_firstRowWaiting = step();
    }
    ~SqliteCursor() override { finish(State::Finished); }

    bool next() override
    {
        if (m_state == State::Ended)
            throw DbError(DbError::Kind::Other,
                          QString::fromLatin1(ReadEndedMessage));
        if (m_state == State::Finished)
            return false;
        return std::exchange(m_firstRowWaiting, false) || step();
    }
    const QStringList &columnNames() const override { return m_prepared->columnNames; }
    DbValue value(int column) const override;
    void cancel() override { finish(State::Finished); }
    void endBySession() { finish(State::Ended); }

private:
    enum class State
    {
        Reading,
        Finished,
        Ended
    };

    bool step()
    {
        const int rc = sqlite3_step(m_prepared->statement);
        if (rc == SQLITE_ROW)
            return true;
        finish(State::Finished); // the reset keeps a failure's message
        if (rc != SQLITE_DONE)
            throw sqliteFailure(sqlite3_db_handle(m_prepared->statement), rc);
        return false;
    }
    void finish(State state)
    {
        if (m_state != State::Reading)
            return;
        m_state = state;
        sqlite3_reset(m_prepared->statement);
        if (m_prepared->connection->openRead == this)
            m_prepared->connection->openRead = nullptr;
    }

    std::shared_ptr<Prepared> m_prepared;
    State m_state = State::Reading;
    bool m_firstRowWaiting = false;
};

DbValue SqliteCursor::value(int column) const
{
    sqlite3_stmt *statement = m_prepared->statement;
    if (m_state != State::Reading)
        return {};
    switch (sqlite3_column_type(statement, column)) {
    case SQLITE_INTEGER:
        return qint64(sqlite3_column_int64(statement, column));
    case SQLITE_FLOAT:
        return QString::number(sqlite3_column_double(statement, column), 'g', QLocale::FloatingPointShortest);
    case SQLITE_TEXT:
        return QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(statement, column)),
                                 sqlite3_column_bytes(statement, column));
    case SQLITE_BLOB:
        return QByteArray(static_cast<const char *>(sqlite3_column_blob(statement, column)),
                          sqlite3_column_bytes(statement, column));
    default:
        return {};
    }
}

namespace {

class SqliteStatement final : public Statement
{
public:
    SqliteStatement(const QString &text, std::shared_ptr<SqliteConnection> connection)
        : Statement(rewriteParameters(text, SqlSyntax::Sqlite, PlaceholderStyle::Numbered)),
          m_prepared(std::make_shared<Prepared>())
    {
        sqlite3 *handle = connection->handle;
        m_prepared->connection = std::move(connection);
        const QByteArray sql = this->text().sql.toUtf8();
        const char *tail = nullptr;
        const int rc = sqlite3_prepare_v3(handle, sql.constData(), static_cast<int>(sql.size()),
                                          SQLITE_PREPARE_PERSISTENT, &m_prepared->statement, &tail);
        if (rc != SQLITE_OK)
            throw sqliteFailure(handle, rc);
        if (!m_prepared->statement || holdsAnotherStatement(handle, tail, sql.constData() + sql.size()))
            throw DbError(DbError::Kind::AccessLayer, QStringLiteral("The text must hold one statement"));
        for (int column = 0; column < sqlite3_column_count(m_prepared->statement); ++column)
            m_prepared->columnNames << QString::fromUtf8(sqlite3_column_name(m_prepared->statement, column));
        m_prepared->bound.resize(values().size());
    }

    qint64 run() override
    {
        sqlite3 *handle = start();
        const sqlite3_int64 totalBefore = sqlite3_total_changes64(handle);
        int rc = SQLITE_ROW;
        while (rc == SQLITE_ROW)
            rc = sqlite3_step(m_prepared->statement);
        // Against the total, since sqlite3_changes64 still tells the last writing statement's count.
        const qint64 changed = sqlite3_total_changes64(handle) == totalBefore ? 0 : sqlite3_changes64(handle);
        sqlite3_reset(m_prepared->statement); // keeps a failure's message
        if (rc != SQLITE_DONE)
            throw sqliteFailure(handle, rc);
        return changed;
    }
    std::unique_ptr<Cursor> query() override
    {
        start();
        return std::make_unique<SqliteCursor>(m_prepared);
    }
    bool isUsable() const override { return m_prepared->connection->handle != nullptr; }

private:
    // Ends the session's open read and binds the values. Throws DbError.
    sqlite3 *start()
    {
        sqlite3 *handle = m_prepared->connection->handle;
        if (!handle)
            throw DbError(DbError::Kind::AccessLayer, QStringLiteral("The statement's session has closed"));
        m_prepared->connection->endRead();
        for (size_t parameter = 0; parameter < values().size(); ++parameter) {
            // ?N is the N-th name; SQLite reads the bytes while the run lasts.
            const int number = static_cast<int>(parameter) + 1;
            if (const int rc = bindParameter(number, values()[parameter], m_prepared->bound[parameter]);
                rc != SQLITE_OK)
                throw sqliteFailure(handle, rc);
        }
        return handle;
    }
    int bindParameter(int number, const DbValue &value, QByteArray &bytes)
    {
        sqlite3_stmt *statement = m_prepared->statement;
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
        return sqlite3_bind_text64(statement, number, bytes.constData(), bytes.size(), SQLITE_STATIC,
                                   SQLITE_UTF8);
    }

    std::shared_ptr<Prepared> m_prepared;
};

} // namespace

void SqliteConnection::endRead()
{
    if (SqliteCursor *cursor = std::exchange(openRead, nullptr))
        cursor->endBySession();
}

DbError sqliteFailure(sqlite3 *handle, int code)
{
    return DbError(failureKind(code), QString::fromUtf8(sqlite3_errmsg(handle)), QString::number(code));
}

std::unique_ptr<Statement> prepareSqliteStatement(const QString &text,
                                                  std::shared_ptr<SqliteConnection> connection)
{
    return std::make_unique<SqliteStatement>(text, std::move(connection));
}

} // namespace db
