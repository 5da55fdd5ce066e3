#pragma once

#include "shared/tracking/DbResult.h"
#include "shared/tracking/DbStatement.h"

#include <memory>

class SqlDialect;

// A lookup by message id on the loader's connection. Where the dialect binds the id, the statement
// is prepared once and kept for the run; where it pastes the id, the text is set anew for each id.
class MessageIdLookup
{
public:
    using PastedText = QString (SqlDialect::*)(const QString &messageId) const;
    using BoundText = QString (SqlDialect::*)() const;

    MessageIdLookup(DbConnection &connection, PastedText pasted, BoundText bound);

    // Runs the lookup for `messageId` and reads its result. Throws DbError.
    DbResult open(const QString &messageId);
    const DbStatement &statement() const { return m_statement; }

private:
    DbStatement m_statement;
    PastedText m_pasted;
    BoundText m_bound;
    // Whose bound text the statement holds; kept alive so that its address names only it.
    std::shared_ptr<const SqlDialect> m_boundDialect;
};
