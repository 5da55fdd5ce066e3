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
    explicit SqliteSession(sqlite3 *handle) : m_connection(std::make_shared<SqliteConnection>())
    {
        m_connection->handle = handle;
    }
    ~SqliteSession() override
    {
        m_connection->endRead();
        // Statements a caller still holds keep the file open until they are finalized.
        sqlite3_close_v2(std::exchange(m_connection->handle, nullptr));
    }

    std::unique_ptr<Statement> prepare(const QString &text) override
    {
        m_connection->endRead();
        return std::make_unique<SqliteStatement>(text, m_connection);
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
        if (const int rc = sqlite3_exec(m_connection->handle, sql, nullptr, nullptr, nullptr); rc != SQLITE_OK)
            throw sqliteFailure(m_connection->handle, rc);
    }

    std::shared_ptr<SqliteConnection> m_connection;
};

} // namespace

std::unique_ptr<Session> openSqliteSession(const QString &file, Session::OpenMode mode)
{
    int flags = SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_PRIVATECACHE;
    QByteArray name = file.toUtf8();
    switch (mode) {
    case Session::OpenMode::Existing:
        flags |= SQLITE_OPEN_READWRITE;
        break;
    case Session::OpenMode::Creating:
        flags |= SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
        break;
    case Session::OpenMode::AtRest:
        // Immutable: no lock, no write-ahead log, nothing written beside the file.
        flags |= SQLITE_OPEN_READONLY | SQLITE_OPEN_URI;
        name = "file://" + QUrl::toPercentEncoding(QFileInfo(file).absoluteFilePath(), "/") + "?immutable=1";
        break;
    }
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
