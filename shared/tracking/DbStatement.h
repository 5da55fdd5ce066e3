#pragma once

#include "shared/tracking/DbResult.h"
#include "shared/db/Session.h"

#include <QString>
#include <QStringList>
#include <QVariant>

#include <memory>
#include <vector>

class DbConnection;

enum class ParamType
{
    Text,
    DateTime,
    SmallInt,
    Int,
    LongText
};

// A statement with ":Name" parameters, defined once and reused, or made for one use. Parameters
// are matched by name without regard to case; a null or invalid value binds SQL NULL. The text is
// prepared on the connection's session at its first run and again after the session changed.
class DbStatement
{
public:
    explicit DbStatement(DbConnection &connection, const QString &text = {});
    ~DbStatement();

    // Setting the text forgets the prepared form and the bindings.
    void setText(const QString &text);
    void setLines(const QStringList &lines); // joined with CR LF
    const QString &text() const { return m_text; }
    // The parameters the text names, in order of first use.
    QStringList parameterNames() const;

    void bind(const QString &name, ParamType type, const QVariant &value);
    void clearBindings();
    // Takes over another statement's bindings (names, types and values).
    void copyBindingsFrom(const DbStatement &other);

    // Runs the statement; returns the number of rows affected. Throws DbError.
    int execute();
    // Runs the statement and reads its whole result. Throws DbError.
    DbResult open();
    // Runs the statement for callers that walk a large result themselves; the cursor reads on the
    // connection's session, which ends it when another statement runs there. Throws DbError.
    std::unique_ptr<db::Cursor> query();

    DbConnection &connection() const { return m_connection; }

private:
    struct Binding
    {
        QString name;
        ParamType type;
        QVariant value;
    };

    qsizetype bindingIndex(const QString &name, size_t hint) const; // -1 when not bound
    DbValue boundValue(const Binding &binding) const;
    // The prepared form on the connection's current session, bound. Throws DbError.
    db::Statement &bound();

    DbConnection &m_connection;
    QString m_text;
    std::vector<Binding> m_bindings;
    // True while the bindings are the prepared text's names in order, as written: the next name
    // then needs no search, since the names differ without regard to case.
    bool m_bindingsFollowText = true;
    std::unique_ptr<db::Statement> m_prepared;
};
