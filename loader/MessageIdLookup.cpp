#include "loader/MessageIdLookup.h"

#include "shared/tracking/DbConnection.h"
#include "shared/tracking/SqlDialect.h"

MessageIdLookup::MessageIdLookup(DbConnection &connection, PastedText pasted, BoundText bound)
    : m_statement(connection), m_pasted(pasted), m_bound(bound)
{}

DbResult MessageIdLookup::open(const QString &messageId)
{
    const SqlDialect &dialect = m_statement.connection().dialect();
    if (dialect.bindsLookupMessageId()) {
        // Only a new connection string brings a new dialect, and perhaps a new text.
        if (&dialect != m_boundDialect.get()) {
            const QString text = (dialect.*m_bound)();
            if (text != m_statement.text())
                m_statement.setText(text);
            m_boundDialect = m_statement.connection().sharedDialect();
        }
        m_statement.bind(QStringLiteral("MsgID"), ParamType::Text, messageId);
    } else {
        m_statement.setText((dialect.*m_pasted)(messageId));
        m_boundDialect.reset();
    }
    return m_statement.open();
}
