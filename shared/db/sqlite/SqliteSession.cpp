#include "shared/db/sqlite/SqliteSession.h"

#include <QFileInfo>
#include <QLocale>
#include <QStringEncoder>
#include <QUrl>

#include <sqlite3.h>

#include <cstdio>
#include <utility>

namespace db {

namespace {

// What a session shares with its statements and cursors, which may outlive it.
struct Connection
{
    explicit Connection(sqlite3 *open) : handle(open) {}
    sqlite3 *handle;                 // null once the session has closed
    SessionCursor *reader = nullptr; // the one cursor still reading (see Session)
    void interruptReader()
    {
        if (auto *r = std::exchange(reader, nullptr))
            r->interrupt();
    }
};

DbError failure(sqlite3 *handle, int code)
{
    const int primary = code & 0xff;
    DbError::Kind kind = DbError::Kind::Other;
    if (code == SQLITE_CONSTRAINT_PRIMARYKEY || code == SQLITE_CONSTRAINT_UNIQUE)
        kind = DbError::Kind::DuplicateKey;
    else if (primary == SQLITE_BUSY || primary == SQLITE_LOCKED) // another session holds the lock: try again
        kind = DbError::Kind::ConnectionLost;
    else if (primary == SQLITE_TOOBIG || primary == SQLITE_MISMATCH || primary == SQLITE_RANGE ||
             primary == SQLITE_CONSTRAINT)
        kind = DbError::Kind::Data;
    return DbError(kind, QString::fromUtf8(sqlite3_errmsg(handle)), QString::number(code));
}

// A prepared statement, shared by its Statement and its cursor, either of which may be dropped first.
struct Prepared
{
    explicit Prepared(std::shared_ptr<Connection> to) : connection(std::move(to)) {}
    std::shared_ptr<Connection> connection;
    sqlite3_stmt *statement = nullptr;
    QStringList columnNames;
    std::vector<QByteArray> bound; // per parameter; the room is kept, so most runs allocate nothing
    ~Prepared() { sqlite3_finalize(statement); } // once the session closed, the last one closes the file
};

class SqliteCursor final : public SessionCursor
{
public:
    // Becomes the session's read and runs the statement up to its first row. Throws DbError.
    explicit SqliteCursor(std::shared_ptr<Prepared> prepared) : m_prepared(std::move(prepared))
    {
        m_prepared->connection->reader = this;
        m_firstRow = next();
    }
    ~SqliteCursor() override { cancel(); }

    const QStringList &columnNames() const override { return m_prepared->columnNames; }
    DbValue value(int column) const override
    {
        switch (isReading() ? type(column) : SQLITE_NULL) {
        case SQLITE_INTEGER:
            return qint64(sqlite3_column_int64(statement(), column));
        case SQLITE_FLOAT:
            return QString::number(sqlite3_column_double(statement(), column), 'g', QLocale::FloatingPointShortest);
        case SQLITE_TEXT:
            return QString::fromUtf8(utf8(column));
        case SQLITE_BLOB:
            return QByteArray(static_cast<const char *>(sqlite3_column_blob(statement(), column)),
                              sqlite3_column_bytes(statement(), column));
        default:
            return {};
        }
    }
    bool isNull(int column) const override { return !isReading() || type(column) == SQLITE_NULL; }
    QByteArrayView utf8(int column) const override
    {
        if (const int kind = isReading() ? type(column) : SQLITE_NULL; kind != SQLITE_TEXT)
            return kind == SQLITE_NULL ? QByteArrayView() : Cursor::utf8(column); // SQLite writes numbers otherwise
        return {sqlite3_column_text(statement(), column), sqlite3_column_bytes(statement(), column)};
    }

private:
    bool fetch() override
    {
        const int rc = std::exchange(m_firstRow, false) ? SQLITE_ROW : sqlite3_step(statement());
        if (rc != SQLITE_ROW && rc != SQLITE_DONE)
            throw failure(sqlite3_db_handle(statement()), rc);
        return rc == SQLITE_ROW;
    }
    void release(bool) override
    {
        sqlite3_reset(statement());
        if (m_prepared->connection->reader == this)
            m_prepared->connection->reader = nullptr;
    }
    sqlite3_stmt *statement() const { return m_prepared->statement; }
    int type(int column) const { return sqlite3_column_type(statement(), column); }

    std::shared_ptr<Prepared> m_prepared;
    bool m_firstRow = false;
};

class SqliteStatement final : public Statement
{
public:
    SqliteStatement(const QString &text, std::shared_ptr<Connection> connection)
        : Statement(rewriteParameters(text, SqlSyntax::Sqlite, PlaceholderStyle::Numbered)),
          m_prepared(std::make_shared<Prepared>(std::move(connection)))
    {
        sqlite3 *handle = m_prepared->connection->handle;
        sqlite3_stmt *&statement = m_prepared->statement;
        const QByteArray sql = this->text().sql.toUtf8();
        const char *tail = nullptr;
        if (const int rc = sqlite3_prepare_v3(handle, sql.constData(), int(sql.size()), SQLITE_PREPARE_PERSISTENT,
                                              &statement, &tail);
            rc != SQLITE_OK)
            throw failure(handle, rc);
        // Anything but blanks, ";" and comments after the first statement prepares to another one or fails.
        sqlite3_stmt *another = nullptr;
        const int rc = sqlite3_prepare_v2(handle, tail, int(sql.constData() + sql.size() - tail), &another, nullptr);
        sqlite3_finalize(another);
        if (!statement || rc != SQLITE_OK || another)
            throw DbError(DbError::Kind::AccessLayer, QStringLiteral("The text must hold one statement"));
        m_prepared->columnNames.reserve(sqlite3_column_count(statement));
        for (int column = 0; column < sqlite3_column_count(statement); ++column)
            m_prepared->columnNames << QString::fromUtf8(sqlite3_column_name(statement, column));
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
            throw failure(handle, rc);
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
        m_prepared->connection->interruptReader();
        for (size_t parameter = 0; parameter < values().size(); ++parameter) // ?N is the N-th name
            if (const int rc = bind(int(parameter) + 1, values()[parameter], m_prepared->bound[parameter]);
                rc != SQLITE_OK)
                throw failure(handle, rc);
        return handle;
    }
    // SQLite reads `bytes` while the run lasts; they are written in place, so that a run allocates nothing.
    int bind(int number, const DbValue &value, QByteArray &bytes)
    {
        sqlite3_stmt *statement = m_prepared->statement;
        if (const auto *text = std::get_if<QString>(&value)) {
            if (text->contains(QChar(0)))
                throw DbError(DbError::Kind::Data, QStringLiteral("A text holds a NUL character"));
            QStringEncoder utf8(QStringEncoder::Utf8, QStringEncoder::Flag::Stateless);
            bytes.resize(utf8.requiredSpace(text->size()));
            bytes.truncate(utf8.appendToBuffer(bytes.data(), *text) - bytes.constData());
        } else if (const auto *time = std::get_if<QDateTime>(&value); time && time->isValid()) {
            const QDate d = time->date(); // stored as "yyyy-MM-dd HH:mm:ss.zzz" (SqliteDialect::canonicalDateTime)
            const QTime t = time->time();
            bytes.resize(32);
            bytes.truncate(std::snprintf(bytes.data(), 33, "%04d-%02d-%02d %02d:%02d:%02d.%03d", d.year(), d.month(),
                                         d.day(), t.hour(), t.minute(), t.second(), t.msec()));
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

    std::shared_ptr<Prepared> m_prepared;
};

class SqliteSession final : public Session
{
public:
    explicit SqliteSession(sqlite3 *handle) : m_connection(std::make_shared<Connection>(handle)) {}
    ~SqliteSession() override
    {
        m_connection->interruptReader();
        // Statements a caller still holds keep the file open until they are finalized.
        sqlite3_close_v2(std::exchange(m_connection->handle, nullptr));
    }

    std::unique_ptr<Statement> prepare(const QString &text) override
    {
        m_connection->interruptReader();
        return std::make_unique<SqliteStatement>(text, m_connection);
    }
    void begin(bool write) override { execute(write ? QStringLiteral("BEGIN IMMEDIATE") : QStringLiteral("BEGIN")); }
    void commit() override { execute(QStringLiteral("COMMIT")); }
    void rollback() override { execute(QStringLiteral("ROLLBACK")); }
    bool isLost() const override { return false; } // a file cannot go away as a server can
    void cancel() override { m_connection->interruptReader(); }

private:
    std::shared_ptr<Connection> m_connection;
};

} // namespace

std::unique_ptr<Session> openSqliteSession(const QString &file, Session::OpenMode mode)
{
    const bool atRest = mode == Session::OpenMode::AtRest;
    // At rest: immutable, so no lock, no write-ahead log and nothing written beside the file.
    const QByteArray name =
        atRest ? "file://" + QUrl::toPercentEncoding(QFileInfo(file).absoluteFilePath(), "/") + "?immutable=1"
               : file.toUtf8();
    const int access = atRest                                ? SQLITE_OPEN_READONLY | SQLITE_OPEN_URI
                       : mode == Session::OpenMode::Creating ? SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE
                                                             : SQLITE_OPEN_READWRITE;
    const int flags = access | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_PRIVATECACHE;
    sqlite3 *handle = nullptr;
    if (const int rc = sqlite3_open_v2(name.constData(), &handle, flags, nullptr); rc != SQLITE_OK) {
        const QString message = QString::fromUtf8(handle ? sqlite3_errmsg(handle) : sqlite3_errstr(rc));
        sqlite3_close(handle);
        throw DbError(DbError::Kind::Other, message, QString::number(rc));
    }
    sqlite3_extended_result_codes(handle, 1);
    sqlite3_busy_timeout(handle, 5000);
    return std::make_unique<SqliteSession>(handle);
}

} // namespace db
