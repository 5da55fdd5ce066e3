#include "shared/db/sqlite/SqliteSession.h"

#include "shared/db/sqlite/SqliteStatement.h"

#include <QFileInfo>
#include <QUrl>

#include <utility>

namespace db {

namespace {

class SqliteSession final : public Session
{
public:
    explicit SqliteSession(sqlite3 *handle) : m_connection(std::make_shared<SqliteConnection>(handle)) {}
    ~SqliteSession() override
    {
        m_connection->endRead();
        // Statements a caller still holds keep the file open until they are finalized.
        sqlite3_close_v2(std::exchange(m_connection->handle, nullptr));
    }

    std::unique_ptr<Statement> prepare(const QString &text) override
    {
        m_connection->endRead();
        return prepareSqliteStatement(text, m_connection);
    }
    void begin(bool write) override { step(write ? "BEGIN IMMEDIATE" : "BEGIN"); }
    void commit() override { step("COMMIT"); }
    void rollback() override { step("ROLLBACK"); }
    bool isLost() const override { return false; } // a file cannot go away as a server can
    void cancel() override { m_connection->endRead(); }

private:
    void step(const char *sql)
    {
        m_connection->endRead();
        if (const int rc = sqlite3_exec(m_connection->handle, sql, nullptr, nullptr, nullptr);
            rc != SQLITE_OK)
            throw sqliteFailure(m_connection->handle, rc);
    }

    std::shared_ptr<SqliteConnection> m_connection;
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
