#pragma once

#include "shared/db/DbError.h"
#include "shared/db/DbValue.h"
#include "shared/db/ParameterText.h"

#include <QStringList>

#include <memory>
#include <vector>

struct ConnectionTarget;

namespace db {

// The failure of a cursor's next read after another statement ended it (see Session).
inline constexpr char ReadEndedMessage[] = "The read was ended by another statement on its session";

// The rows of a query, read forward one at a time. A cursor belongs to the thread of its session
// and must end before it. Reads of the current row are typed; a NULL reads as an empty text, 0, an
// invalid date-time or empty bytes.
class Cursor
{
public:
    virtual ~Cursor() = default;

    // Moves to the next row; false at the end of the result or once cancelled. Throws DbError,
    // also when its session ended the read early (see Session): a read never ends short silently.
    virtual bool next() = 0;
    virtual const QStringList &columnNames() const = 0;
    // The column a name is in, compared without regard to case; -1 when none.
    int columnIndex(QAnyStringView name) const;

    // The current row's value as the backend typed it.
    virtual DbValue value(int column) const = 0;
    virtual bool isNull(int column) const;
    virtual QString text(int column) const;
    virtual qint64 integer(int column) const;
    virtual QDateTime dateTime(int column) const; // wall clock; text in ISO form is read as one
    virtual QByteArray bytes(int column) const;
    // The text as UTF-8, valid until the next move; empty for NULL. A backend that holds UTF-8
    // hands over its own bytes, so that a reader storing UTF-8 converts nothing.
    virtual QByteArrayView utf8(int column) const;

    // Stops the read at once without fetching what remains: next() then returns false.
    virtual void cancel() = 0;

private:
    mutable std::vector<QByteArray> m_utf8; // what utf8() converted, per column
};

// A cursor reading on its session's connection, which serves one read at a time (see Session):
// the session ends it with interrupt(), and next() then throws instead of ending short. A backend
// moves from row to row and frees the connection; its destructor calls cancel().
class SessionCursor : public Cursor
{
public:
    bool next() final;
    void cancel() final { stop(State::Ended, true); }
    void interrupt() { stop(State::Interrupted, true); }

protected:
    // Moves to the next row; false at the end of the result. Throws DbError.
    virtual bool fetch() = 0;
    // Frees the connection at the end of the result or, `early`, while rows may remain on the server.
    virtual void release(bool early) = 0;
    bool isReading() const { return m_state == State::Reading; }

private:
    enum class State
    {
        Reading,
        Ended,
        Interrupted
    };
    void stop(State state, bool early);

    State m_state = State::Reading;
};

// A statement prepared on a session with ":Name" parameters (see ParameterText), run any number of
// times. Values stay bound between runs; an unbound parameter is NULL.
class Statement
{
public:
    virtual ~Statement() = default;

    const QStringList &parameterNames() const { return m_text.names; }
    // Throws DbError (access layer) for a name the text does not use.
    void bind(const QString &name, DbValue value);
    void bind(int parameter, DbValue value) { m_values.at(parameter) = std::move(value); }
    void clearBindings();

    // Runs the statement to its end; returns the rows it changed. Throws DbError.
    virtual qint64 run() = 0;
    // Runs the statement and stands before its first row. Throws DbError.
    virtual std::unique_ptr<Cursor> query() = 0;
    // False once its session has closed or was found lost: prepare it again on a new session.
    virtual bool isUsable() const = 0;

protected:
    explicit Statement(ParameterText text);
    // The value of each placeholder in the backend's text, in order.
    const DbValue &placeholderValue(size_t placeholder) const { return m_values[m_text.placeholders[placeholder]]; }
    const ParameterText &text() const { return m_text; }
    const std::vector<DbValue> &values() const { return m_values; }

private:
    ParameterText m_text;
    std::vector<DbValue> m_values; // one per name
};

// One connection to a database, confined to the thread that uses it (see SessionPool for threads).
//
// One read at a time: a cursor that is still reading belongs to its session until it ends. Any
// other statement, a transaction step or closing the session on that session ends the open cursor
// first; its next read then throws DbError (Other) instead of ending short. SQLite sessions, which
// read many results side by side, follow the same rule so that callers meet one behaviour.
class Session
{
public:
    enum class OpenMode
    {
        Existing, // a missing SQLite file is a failure; nothing is created
        Creating, // a missing SQLite file is created
        AtRest    // a SQLite file is read as it lies on disk, read-only, without a write-ahead log
    };

    // Connects to the target's backend. Throws DbError: ConnectionLost when the server cannot be
    // reached now (it may be there at the next attempt), else Other with the database's reason.
    static std::unique_ptr<Session> open(const ConnectionTarget &target, OpenMode mode = OpenMode::Existing);

    virtual ~Session() = default;

    // Throws DbError for a text the database refuses, here or (where the backend prepares in the
    // round trip of the first run) at the first run.
    virtual std::unique_ptr<Statement> prepare(const QString &text) = 0;
    // Runs a text without parameters once; returns the rows it changed.
    virtual qint64 execute(const QString &text) { return prepare(text)->run(); }

    // A write transaction takes the database's write lock at once where the backend would defer it.
    virtual void begin(bool write = false) = 0;
    virtual void commit() = 0;
    virtual void rollback() = 0;

    // True once a failure showed the session gone; every later use throws ConnectionLost.
    virtual bool isLost() const = 0;
    // Ends the open cursor, if any, as another statement would.
    virtual void cancel() = 0;
};

} // namespace db
