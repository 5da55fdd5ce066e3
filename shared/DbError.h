#pragma once

#include <QString>

#include <stdexcept>

class QSqlError;

// A failure of the database access layer or of the database itself. The message is the driver's
// or the database's own text; the kind tells the layer's own refusals (not connected, unknown
// parameter or field, a value the layer will not bind) from the database's errors, and among those
// the ones that say nothing about the statement: the session is gone or the database is briefly
// unavailable (the backend's dialect decides which), so the same statement may succeed on a new one.
class DbError : public std::runtime_error
{
public:
    enum class Kind
    {
        AccessLayer,
        Database,
        ConnectionLost
    };

    DbError(Kind kind, const QString &message)
        : std::runtime_error(message.toStdString()), m_kind(kind), m_message(message)
    {}

    Kind kind() const { return m_kind; }
    bool isAccessLayerError() const { return m_kind == Kind::AccessLayer; }
    bool isConnectionLost() const { return m_kind == Kind::ConnectionLost; }
    const QString &message() const { return m_message; }

private:
    Kind m_kind;
    QString m_message;
};

// The database's own text of a Qt SQL error, with the driver's where it adds something.
QString sqlErrorText(const QSqlError &error);
