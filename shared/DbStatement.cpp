#include "shared/DbStatement.h"

#include "shared/DbConnection.h"
#include "shared/DbError.h"

#include <QSqlError>
#include <QSqlRecord>

namespace {

[[noreturn]] void refuse(const QString &message)
{
    throw DbError(DbError::Kind::AccessLayer, message);
}

bool isNameStart(QChar c)
{
    return c.isLetter() || c == u'_';
}

bool isNameChar(QChar c)
{
    return c.isLetterOrNumber() || c == u'_';
}

// Skips a quoted literal or bracketed name starting at `i`; returns the index after it.
qsizetype skipQuoted(const QString &text, qsizetype i)
{
    const QChar open = text.at(i);
    const QChar close = open == u'[' ? QChar(u']') : open;
    for (qsizetype j = i + 1; j < text.size(); ++j) {
        if (text.at(j) != close)
            continue;
        if (close == u'\'' && j + 1 < text.size() && text.at(j + 1) == u'\'') {
            ++j; // a doubled quote inside the literal
            continue;
        }
        return j + 1;
    }
    return text.size();
}

QMetaType nullTypeFor(ParamType type)
{
    switch (type) {
    case ParamType::SmallInt:
    case ParamType::Int:
        return QMetaType::fromType<int>();
    case ParamType::LongText:
    case ParamType::Text:
    case ParamType::DateTime:
        break;
    }
    return QMetaType::fromType<QString>();
}

} // namespace

DbStatement::DbStatement(DbConnection &connection, const QString &text)
    : m_connection(connection), m_text(text)
{}

void DbStatement::setText(const QString &text)
{
    close();
    m_query = QSqlQuery();
    m_prepared = false;
    m_text = text;
    m_bindings.clear();
}

void DbStatement::setLines(const QStringList &lines)
{
    setText(lines.join(QStringLiteral("\r\n")));
}

QStringList DbStatement::parameterNames() const
{
    QStringList names;
    for (qsizetype i = 0; i < m_text.size();) {
        const QChar c = m_text.at(i);
        if (c == u'\'' || c == u'"' || c == u'[') {
            i = skipQuoted(m_text, i);
            continue;
        }
        if (c == u':' && i + 1 < m_text.size() && isNameStart(m_text.at(i + 1))) {
            qsizetype end = i + 1;
            while (end < m_text.size() && isNameChar(m_text.at(end)))
                ++end;
            const QString name = m_text.mid(i + 1, end - i - 1);
            if (!names.contains(name, Qt::CaseInsensitive))
                names << name;
            i = end;
            continue;
        }
        ++i;
    }
    return names;
}

void DbStatement::bind(const QString &name, ParamType type, const QVariant &value)
{
    QString key = name.startsWith(u':') ? name.mid(1) : name;
    for (Binding &binding : m_bindings) {
        if (binding.name.compare(key, Qt::CaseInsensitive) == 0) {
            binding.type = type;
            binding.value = value;
            return;
        }
    }
    m_bindings.push_back({std::move(key), type, value});
}

void DbStatement::clearBindings()
{
    m_bindings.clear();
}

void DbStatement::copyBindingsFrom(const DbStatement &other)
{
    m_bindings = other.m_bindings;
}

const DbStatement::Binding *DbStatement::findBinding(const QString &name) const
{
    for (const Binding &binding : m_bindings) {
        if (binding.name.compare(name, Qt::CaseInsensitive) == 0)
            return &binding;
    }
    return nullptr;
}

QVariant DbStatement::boundValue(const Binding &binding) const
{
    const QVariant &value = binding.value;
    if (!value.isValid() || value.isNull())
        return QVariant(nullTypeFor(binding.type));
    const SqlDialect &dialect = m_connection.dialect();
    switch (binding.type) {
    case ParamType::DateTime:
        if (value.metaType().id() == QMetaType::QDateTime && value.toDateTime().isValid())
            return dialect.dateTimeParameter(value.toDateTime());
        if (value.metaType().id() == QMetaType::QDate && value.toDate().isValid())
            return dialect.dateTimeParameter(QDateTime(value.toDate(), QTime(0, 0)));
        refuse(QStringLiteral("The value %1 of parameter :%2 is not a date and time")
                   .arg(value.toString(), binding.name));
    case ParamType::SmallInt:
    case ParamType::Int: {
        bool ok = false;
        const qlonglong n = value.toLongLong(&ok);
        if (!ok)
            refuse(QStringLiteral("The value %1 of parameter :%2 is not an integer")
                       .arg(value.toString(), binding.name));
        return n;
    }
    case ParamType::LongText:
        if (value.metaType().id() == QMetaType::QByteArray)
            return dialect.longTextParameter(value.toByteArray());
        return value.toString();
    case ParamType::Text:
        break;
    }
    return value.toString();
}

QSqlQuery &DbStatement::run()
{
    m_connection.ensureOpen();
    // PostgreSQL prepares only queries and row changes: a statement without parameters (a create
    // statement, a catalogue check) runs as it is, which every backend accepts.
    if (parameterNames().isEmpty()) {
        m_prepared = false;
        m_query = QSqlQuery(m_connection.database());
        m_query.setForwardOnly(true);
        if (!m_query.exec(m_text))
            throw m_connection.failure(m_query.lastError());
        return m_query;
    }
    // A statement that is reused keeps its prepared form while the text and the connection stay.
    if (!m_prepared || m_preparedGeneration != m_connection.generation()) {
        m_query = QSqlQuery(m_connection.database());
        m_query.setForwardOnly(true);
        if (!m_query.prepare(m_text)) {
            const QSqlError error = m_query.lastError();
            m_query = QSqlQuery();
            throw m_connection.failure(error);
        }
        m_prepared = true;
        m_preparedGeneration = m_connection.generation();
    }
    bindAll(m_query);
    if (!m_query.exec())
        throw m_connection.failure(m_query.lastError());
    return m_query;
}

void DbStatement::bindAll(QSqlQuery &query) const
{
    for (const QString &name : parameterNames()) {
        const Binding *binding = findBinding(name);
        if (!binding)
            refuse(QStringLiteral("Parameter :%1 has no value").arg(name));
        query.bindValue(u':' + name, boundValue(*binding));
    }
}

QSqlQuery DbStatement::prepareBound()
{
    m_connection.ensureOpen();
    QSqlQuery query(m_connection.database());
    query.setForwardOnly(true);
    if (!query.prepare(m_text))
        throw m_connection.failure(query.lastError());
    bindAll(query);
    return query;
}

int DbStatement::execute()
{
    QSqlQuery &query = run();
    const int rows = query.numRowsAffected();
    query.finish();
    return rows;
}

DbResult DbStatement::open()
{
    QSqlQuery &query = run();
    const QSqlRecord record = query.record();
    QStringList fieldNames;
    for (int i = 0; i < record.count(); ++i)
        fieldNames << record.fieldName(i);
    std::vector<std::vector<QVariant>> rows;
    while (query.next()) {
        std::vector<QVariant> row;
        row.reserve(record.count());
        for (int i = 0; i < record.count(); ++i)
            row.push_back(query.value(i));
        rows.push_back(std::move(row));
    }
    const QSqlError error = query.lastError();
    query.finish();
    if (error.isValid())
        throw DbError(DbError::Kind::Database, sqlErrorText(error));
    return DbResult(fieldNames, std::move(rows), m_connection.sharedDialect());
}

void DbStatement::close()
{
    if (m_query.isActive())
        m_query.finish();
}
