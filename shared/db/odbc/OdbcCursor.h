#pragma once

#include "shared/db/Session.h"
#include "shared/db/odbc/OdbcLink.h"

namespace db {

// The rows of an executed statement handle, each read whole at the fetch.
class OdbcCursor : public Cursor
{
public:
    // Becomes the link's open read.
    OdbcCursor(std::shared_ptr<OdbcLink> link, std::shared_ptr<OdbcStatementHandle> statement);
    ~OdbcCursor() override { cancel(); }

    bool next() override;
    const QStringList &columnNames() const override { return m_names; }
    DbValue value(int column) const override { return m_row.at(column); }
    void cancel() override;
    // Ends the read for another use of its session: the next read throws.
    void interrupt();

private:
    enum class State
    {
        Reading,
        Ended,
        Interrupted
    };

    void close(State state);
    DbValue read(SQLUSMALLINT column, SQLSMALLINT cType);
    bool readChunks(SQLUSMALLINT column, SQLSMALLINT cType, QByteArray &value);

    std::shared_ptr<OdbcLink> m_link;
    std::shared_ptr<OdbcStatementHandle> m_statement;
    QStringList m_names;
    std::vector<SQLSMALLINT> m_readTypes; // per column
    std::vector<DbValue> m_row;
    State m_state = State::Reading;
};

} // namespace db
