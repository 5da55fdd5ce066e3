#include "shared/tracking/DbStatement.h"

#include "shared/tracking/DbConnection.h"
#include "shared/text/WallClock.h"

namespace {

[[noreturn]] void refuse(const QString &message)
{
    throw DbError(DbError::Kind::AccessLayer, message);
}

DbValue valueOf(const QVariant &value)
{
    if (!value.isValid() || value.isNull())
        return {};
    switch (value.metaType().id()) {
    case QMetaType::QByteArray:
        return value.toByteArray();
    case QMetaType::QDateTime:
        return value.toDateTime();
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::Short:
    case QMetaType::Bool:
        return qint64(value.toLongLong());
    default:
        return value.toString();
    }
}

} // namespace

DbStatement::DbStatement(DbConnection &connection, const QString &text) : m_connection(connection)
{
    setText(text);
}

DbStatement::~DbStatement() = default;

void DbStatement::setText(const QString &text)
{
    m_prepared.reset();
    m_text = text;
    clearBindings();
}

void DbStatement::setLines(const QStringList &lines)
{
    setText(lines.join(QStringLiteral("\r\n")));
}

QStringList DbStatement::parameterNames() const
{
    return m_prepared ? m_prepared->parameterNames()
                      : rewriteParameters(m_text, SqlSyntax::Sqlite, PlaceholderStyle::Numbered).names;
}

void DbStatement::bind(const QString &name, ParamType type, const QVariant &value)
{
    QString key = name.startsWith(u':') ? name.mid(1) : name;
    const size_t next = m_bindings.size();
    const bool nextInText = m_bindingsFollowText && m_prepared &&
                            next < static_cast<size_t>(m_prepared->parameterNames().size()) &&
                            m_prepared->parameterNames().at(static_cast<qsizetype>(next)) == key;
    if (!nextInText) {
        if (const qsizetype i = bindingIndex(key, next); i >= 0) {
            m_bindings[i].type = type;
            m_bindings[i].value = value;
            return;
        }
    }
    m_bindingsFollowText = nextInText;
    m_bindings.push_back({std::move(key), type, value});
}

void DbStatement::clearBindings()
{
    m_bindings.clear();
    m_bindingsFollowText = true;
}

void DbStatement::copyBindingsFrom(const DbStatement &other)
{
    m_bindings = other.m_bindings;
    m_bindingsFollowText = false;
}

// Callers bind mostly in the order the text names the parameters, with the names as written:
// the binding at `hint` is tried first, and an exact match before one that ignores case.
qsizetype DbStatement::bindingIndex(const QString &name, size_t hint) const
{
    if (hint < m_bindings.size() && m_bindings[hint].name == name)
        return static_cast<qsizetype>(hint);
    const auto n = static_cast<qsizetype>(m_bindings.size());
    for (qsizetype i = 0; i < n; ++i) {
        if (m_bindings[i].name == name)
            return i;
    }
    for (qsizetype i = 0; i < n; ++i) {
        const QString &bound = m_bindings[i].name;
        if (bound.size() == name.size() && bound.compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

DbValue DbStatement::boundValue(const Binding &binding) const
{
    const QVariant &value = binding.value;
    if (!value.isValid() || value.isNull())
        return {};
    const SqlDialect &dialect = m_connection.dialect();
    switch (binding.type) {
    case ParamType::DateTime:
        if (value.metaType().id() == QMetaType::QDateTime && value.toDateTime().isValid())
            return valueOf(dialect.dateTimeParameter(WallClock::relabelled(value.toDateTime())));
        if (value.metaType().id() == QMetaType::QDate && value.toDate().isValid())
            return valueOf(dialect.dateTimeParameter(WallClock::of(value.toDate())));
        refuse(QStringLiteral("The value %1 of parameter :%2 is not a date and time")
                   .arg(value.toString(), binding.name));
    case ParamType::SmallInt:
    case ParamType::Int: {
        bool ok = false;
        const qlonglong n = value.toLongLong(&ok);
        if (!ok)
            refuse(QStringLiteral("The value %1 of parameter :%2 is not an integer").arg(value.toString(), binding.name));
        return qint64(n);
    }
    case ParamType::LongText:
        if (value.metaType().id() == QMetaType::QByteArray)
            return valueOf(dialect.longTextParameter(value.toByteArray()));
        return value.toString();
    case ParamType::Text:
        break;
    }
    return value.toString();
}

db::Statement &DbStatement::bound()
{
    if (!m_prepared || !m_prepared->isUsable())
        m_prepared = m_connection.prepare(m_text);
    const QStringList &names = m_prepared->parameterNames();
    for (qsizetype i = 0; i < names.size(); ++i) {
        const qsizetype binding = bindingIndex(names.at(i), static_cast<size_t>(i));
        if (binding < 0)
            refuse(QStringLiteral("Parameter :%1 has no value").arg(names.at(i)));
        m_prepared->bind(int(i), boundValue(m_bindings[binding]));
    }
    return *m_prepared;
}

int DbStatement::execute()
{
    return m_connection.attempt([&] { return int(bound().run()); });
}

std::unique_ptr<db::Cursor> DbStatement::query()
{
    return m_connection.attempt([&] { return bound().query(); });
}

DbResult DbStatement::open()
{
    return m_connection.attempt([&] {
        std::unique_ptr<db::Cursor> cursor = bound().query();
        const int columns = int(cursor->columnNames().size());
        std::vector<std::vector<QVariant>> rows;
        while (cursor->next()) {
            std::vector<QVariant> row;
            row.reserve(columns);
            for (int i = 0; i < columns; ++i)
                row.push_back(variantOf(cursor->value(i)));
            rows.push_back(std::move(row));
        }
        return DbResult(cursor->columnNames(), std::move(rows), m_connection.sharedDialect());
    });
}
