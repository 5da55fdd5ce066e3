#include "shared/db/Session.h"

namespace db {

namespace {

template <typename... Readers>
struct Overloaded : Readers...
{
    using Readers::operator()...;
};
template <typename... Readers>
Overloaded(Readers...) -> Overloaded<Readers...>;

} // namespace

int Cursor::columnIndex(QAnyStringView name) const
{
    const QStringList &names = columnNames();
    for (qsizetype i = 0; i < names.size(); ++i)
        if (names.at(i).size() == name.size() && QAnyStringView::compare(names.at(i), name, Qt::CaseInsensitive) == 0)
            return static_cast<int>(i);
    return -1;
}

bool Cursor::isNull(int column) const
{
    return ::isNull(value(column));
}

QString Cursor::text(int column) const
{
    return std::visit(Overloaded{[](std::monostate) { return QString(); },
                                 [](const QString &text) { return text; },
                                 [](qint64 number) { return QString::number(number); },
                                 [](const QDateTime &time) {
                                     return time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
                                 },
                                 [](const QByteArray &bytes) { return QString::fromUtf8(bytes); }},
                      value(column));
}

qint64 Cursor::integer(int column) const
{
    const DbValue v = value(column);
    if (const qint64 *number = std::get_if<qint64>(&v))
        return *number;
    return text(column).trimmed().toLongLong();
}

QDateTime Cursor::dateTime(int column) const
{
    const DbValue v = value(column);
    if (const QDateTime *time = std::get_if<QDateTime>(&v))
        return *time;
    const QString *text = std::get_if<QString>(&v);
    if (!text)
        return {};
    // Stored as text (SQLite): "yyyy-MM-dd HH:mm:ss[.zzz]", or a date alone; the label is UTC
    // whatever the text says, since stored times are wall-clock values.
    // Date and time are read apart: as a local date-time, one inside a daylight-saving gap is lost.
    const QString iso = text->trimmed();
    const QDate date = QDate::fromString(iso.left(10), Qt::ISODate);
    const QTime time = iso.size() > 10 ? QTime::fromString(iso.mid(11), Qt::ISODateWithMs) : QTime(0, 0);
    if (!date.isValid() || !time.isValid())
        return {};
    return QDateTime(date, time, Qt::UTC);
}

QByteArray Cursor::bytes(int column) const
{
    const DbValue v = value(column);
    if (const QByteArray *bytes = std::get_if<QByteArray>(&v))
        return *bytes;
    return text(column).toUtf8();
}

QByteArrayView Cursor::utf8(int column) const
{
    if (m_utf8.size() <= size_t(column))
        m_utf8.resize(size_t(column) + 1);
    return m_utf8[size_t(column)] = text(column).toUtf8();
}

bool SessionCursor::next()
{
    if (m_state == State::Interrupted)
        throw DbError(DbError::Kind::Other, QString::fromLatin1(ReadEndedMessage));
    if (m_state == State::Ended)
        return false;
    try {
        if (fetch())
            return true;
    } catch (const DbError &) {
        stop(State::Ended, false); // the failure ended the command
        throw;
    }
    stop(State::Ended, false);
    return false;
}

void SessionCursor::stop(State state, bool early)
{
    if (m_state != State::Reading)
        return;
    m_state = state;
    release(early);
}

Statement::Statement(ParameterText text) : m_text(std::move(text)), m_values(m_text.names.size()) {}

void Statement::bind(const QString &name, DbValue value)
{
    for (qsizetype i = 0; i < m_text.names.size(); ++i)
        if (m_text.names.at(i).compare(name, Qt::CaseInsensitive) == 0) {
            m_values[i] = std::move(value);
            return;
        }
    throw DbError(DbError::Kind::AccessLayer, QStringLiteral("The statement has no parameter :%1").arg(name));
}

void Statement::clearBindings()
{
    std::fill(m_values.begin(), m_values.end(), DbValue{});
}

} // namespace db
