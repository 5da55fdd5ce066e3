#pragma once

#include "shared/db/Session.h"
#include "shared/db/sqlite/SqliteConnection.h"

namespace db {

// The rows of a SQLite statement; while it reads, it is its session's open read.
class SqliteCursor final : public Cursor
{
public:
    // Steps to the first row. Throws DbError.
    explicit SqliteCursor(std::shared_ptr<SqlitePrepared> prepared);
    ~SqliteCursor() override { finish(State::Finished); }

    bool next() override;
    const QStringList &columnNames() const override { return m_prepared->columnNames; }
    DbValue value(int column) const override;
    void cancel() override { finish(State::Finished); }
    // Another statement on the session ran: the next read throws rather than end short.
    void endBySession() { finish(State::Ended); }

private:
    enum class State
    {
        Reading,
        Finished,
        Ended
    };
    bool step();
    void finish(State state);

    std::shared_ptr<SqlitePrepared> m_prepared;
    State m_state = State::Reading;
    bool m_firstRowWaiting = false;
};

} // namespace db
