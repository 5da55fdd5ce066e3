#pragma once

#include <QString>

#include <stdexcept>

// A failure of the database access layer or of the database itself. The kind decides what callers
// do; the code (SQLSTATE where the backend has one, else its own number) and the message are the
// database's own, for the log and the user.
class DbError : public std::runtime_error
{
public:
    enum class Kind
    {
        AccessLayer,    // the layer's own refusal: not connected, unknown parameter or field
        ConnectionLost, // the session is gone or the database briefly unavailable: try again anew
        DuplicateKey,
        Data, // a value the database refuses: too long, malformed, a NUL in a text
        Other
    };

    DbError(Kind kind, const QString &message, QString code = {})
        : std::runtime_error(message.toStdString()), m_kind(kind), m_message(message), m_code(std::move(code))
    {}

    Kind kind() const { return m_kind; }
    bool isAccessLayerError() const { return m_kind == Kind::AccessLayer; }
    bool isConnectionLost() const { return m_kind == Kind::ConnectionLost; }
    bool isDuplicateKey() const { return m_kind == Kind::DuplicateKey; }
    const QString &message() const { return m_message; }
    const QString &code() const { return m_code; }

private:
    Kind m_kind;
    QString m_message;
    QString m_code;
};

// The kind of a failure with a five-character SQLSTATE (PostgreSQL, ODBC).
DbError::Kind sqlStateKind(const QString &sqlState);
