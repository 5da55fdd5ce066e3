#include "shared/DbStatement.h"

#include "shared/DbConnection.h"
#include "shared/DbError.h"
#include "shared/DbFieldValue.h"
#include "shared/PostgresPreparedStatement.h"
#include "shared/WallClock.h"

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

// Calls `found(from, to, name)` for every ":Name" of the text outside quotes, in order.
template <typename Found>
void scanParameters(const QString &text, Found &&found)
{
    for (qsizetype i = 0; i < text.size();) {
        const QChar c = text.at(i);
        if (c == u'\'' || c == u'"' || c == u'[') {
            i = skipQuoted(text, i);
            continue;
        }
        if (c == u':' && i + 1 < text.size() && isNameStart(text.at(i + 1))) {
            qsizetype end = i + 1;
            while (end < text.size() && isNameChar(text.at(end)))
                ++end;
            found(i, end, text.mid(i + 1, end - i - 1));
            i = end;
            continue;
        }
        ++i;
    }
}

QStringList parseParameterNames(const QString &text)
{
    QStringList names;
    scanParameters(text, [&](qsizetype, qsizetype, const QString &name) {
        if (!names.contains(name, Qt::CaseInsensitive))
            names << name;
    });
    return names;
}

// The text with each ":Name" written as libpq numbers it: "$n", n its place in `names`.
QByteArray numberedParameters(const QString &text, const QStringList &names)
{
    QString numbered;
    qsizetype copied = 0;
    scanParameters(text, [&](qsizetype from, qsizetype to, const QString &name) {
        numbered += QStringView(text).sliced(copied, from - copied);
        qsizetype place = 0;
        while (place < names.size() && names.at(place).compare(name, Qt::CaseInsensitive) != 0)
            ++place;
        numbered += u'$' + QString::number(place + 1);
        copied = to;
    });
    numbered += QStringView(text).sliced(copied);
    return numbered.toUtf8();
}

} // namespace

DbStatement::DbStatement(DbConnection &connection, const QString &text) : m_connection(connection)
{
    setText(text);
}

DbStatement::~DbStatement() = default;

void DbStatement::setText(const QString &text)
{
    close();
    m_query = QSqlQuery();
    m_prepared = false;
    m_fieldNamesKnown = false;
    m_native.reset();
    m_nativeGeneration = -1;
    m_numberedText.clear();
    m_postgres.reset();
    m_postgresGeneration = -1;
    m_text = text;
    clearBindings();
    m_parameterNames = parseParameterNames(m_text);
    m_placeholders.clear();
    for (const QString &name : std::as_const(m_parameterNames))
        m_placeholders << u':' + name;
}

void DbStatement::setLines(const QStringList &lines)
{
    setText(lines.join(QStringLiteral("\r\n")));
}

QStringList DbStatement::parameterNames() const
{
    return m_parameterNames;
}

void DbStatement::bind(const QString &name, ParamType type, const QVariant &value)
{
    QString key = name.startsWith(u':') ? name.mid(1) : name;
    const size_t next = m_bindings.size();
    const bool nextInText = m_bindingsFollowText && next < static_cast<size_t>(m_parameterNames.size()) &&
                            m_parameterNames.at(static_cast<qsizetype>(next)) == key;
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

QVariant DbStatement::boundValue(const Binding &binding) const
{
    const QVariant &value = binding.value;
    if (!value.isValid() || value.isNull())
        return QVariant(nullTypeFor(binding.type));
    const SqlDialect &dialect = m_connection.dialect();
    switch (binding.type) {
    case ParamType::DateTime:
        if (value.metaType().id() == QMetaType::QDateTime && value.toDateTime().isValid())
            return dialect.dateTimeParameter(WallClock::relabelled(value.toDateTime()));
        if (value.metaType().id() == QMetaType::QDate && value.toDate().isValid())
            return dialect.dateTimeParameter(WallClock::of(value.toDate()));
        refuse(QStringLiteral("The value %1 of parameter :%2 is not a date and time")
                   .arg(value.toString(), binding.name));
    case ParamType::SmallInt:
    case ParamType::Int: {
        bool ok = false;
        const qlonglong n = value.toLongLong(&ok);
        if (!ok)
            refuse(QStringLiteral("The value %1 of parameter :%2 is not an integer").arg(value.toString(), binding.name));
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
    if (m_parameterNames.isEmpty()) {
        m_prepared = false;
        m_fieldNamesKnown = false;
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
        m_fieldNamesKnown = false;
        m_preparedGeneration = m_connection.generation();
    }
    bindAll(m_query);
    if (!m_query.exec())
        throw m_connection.failure(m_query.lastError());
    return m_query;
}

template <typename Bind>
void DbStatement::bindEach(Bind &&bind) const
{
    for (qsizetype i = 0; i < m_parameterNames.size(); ++i) {
        const qsizetype binding = bindingIndex(m_parameterNames.at(i), static_cast<size_t>(i));
        if (binding < 0)
            refuse(QStringLiteral("Parameter :%1 has no value").arg(m_parameterNames.at(i)));
        bind(i, boundValue(m_bindings[binding]));
    }
}

void DbStatement::bindAll(QSqlQuery &query) const
{
    bindEach([&](qsizetype i, const QVariant &value) { query.bindValue(m_placeholders.at(i), value); });
}

// On SQLite a statement with parameters runs on the handle itself, prepared once a session.
SqliteNativeStatement *DbStatement::boundNativeForm()
{
    if (m_parameterNames.isEmpty())
        return nullptr;
    m_connection.ensureOpen();
    SqliteNativeSession *session = m_connection.nativeSession();
    if (!session)
        return nullptr;
    if (m_nativeGeneration != m_connection.generation()) {
        m_native = SqliteNativeStatement::prepare(*session, m_text, m_parameterNames);
        m_nativeGeneration = m_connection.generation();
    }
    if (!m_native)
        return nullptr;
    bindEach([this](qsizetype i, const QVariant &value) { m_native->bind(i, value); });
    return m_native.get();
}

int DbStatement::runNative(SqliteNativeStatement &native, std::vector<std::vector<QVariant>> *rows)
{
    QSqlError error;
    const int changes = native.run(rows, error);
    if (error.isValid())
        throw m_connection.failure(error);
    return changes;
}

int DbStatement::runPrepared(PostgresPreparedStatement &prepared, std::vector<std::vector<QVariant>> *rows,
                             QStringList *fieldNames)
{
    QSqlError error;
    const int count = prepared.run(boundValues(), rows, fieldNames, error);
    if (error.isValid())
        throw m_connection.failure(error);
    return count;
}

const QByteArray &DbStatement::numberedText()
{
    if (m_numberedText.isEmpty())
        m_numberedText = numberedParameters(m_text, m_parameterNames);
    return m_numberedText;
}

std::vector<QVariant> DbStatement::boundValues() const
{
    std::vector<QVariant> values(std::size_t(m_parameterNames.size()));
    bindEach([&](qsizetype i, const QVariant &value) { values[std::size_t(i)] = value; });
    return values;
}

// On PostgreSQL a statement with parameters runs through libpq, prepared once a session. The session's first run of it goes through the driver: a statement run once (a command
// of the window) is then never prepared by name at all.
PostgresPreparedStatement *DbStatement::postgresForm()
{
    if (m_parameterNames.isEmpty())
        return nullptr;
    m_connection.ensureOpen();
    if (m_connection.target().backend != Backend::PostgreSql)
        return nullptr;
    if (m_postgresGeneration != m_connection.generation()) {
        m_postgres.reset();
        m_postgresGeneration = m_connection.generation();
        m_postgresRuns = 0;
    }
    if (!m_postgres && ++m_postgresRuns > 1) {
        QSqlError error;
        m_postgres = PostgresPreparedStatement::prepare(m_connection, numberedText(), error);
        if (error.isValid())
            throw m_connection.failure(error);
    }
    return m_postgres.get();
}

std::unique_ptr<PostgresNativeQuery> DbStatement::startOnPostgres()
{
    m_connection.ensureOpen();
    if (m_connection.target().backend != Backend::PostgreSql)
        return nullptr;
    QSqlError error;
    std::unique_ptr<PostgresNativeQuery> query =
        PostgresNativeQuery::start(m_connection, numberedText(), boundValues(), error);
    if (error.isValid())
        throw m_connection.failure(error);
    return query;
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
    if (SqliteNativeStatement *native = boundNativeForm())
        return runNative(*native, nullptr);
    if (PostgresPreparedStatement *prepared = postgresForm())
        return runPrepared(*prepared, nullptr);
    QSqlQuery &query = run();
    const int rows = query.numRowsAffected();
    query.finish();
    return rows;
}

DbResult DbStatement::open()
{
    if (SqliteNativeStatement *native = boundNativeForm()) {
        std::vector<std::vector<QVariant>> rows;
        runNative(*native, &rows);
        return DbResult(native->fieldNames(), std::move(rows), m_connection.sharedDialect());
    }
    if (PostgresPreparedStatement *prepared = postgresForm()) {
        std::vector<std::vector<QVariant>> rows;
        QStringList fieldNames;
        runPrepared(*prepared, &rows, &fieldNames);
        return DbResult(std::move(fieldNames), std::move(rows), m_connection.sharedDialect());
    }
    QSqlQuery &query = run();
    if (!m_fieldNamesKnown) {
        const QSqlRecord record = query.record();
        m_fieldNames.clear();
        for (int i = 0; i < record.count(); ++i)
            m_fieldNames << record.fieldName(i);
        m_fieldNamesKnown = true;
    }
    const auto columns = static_cast<int>(m_fieldNames.size());
    std::vector<std::vector<QVariant>> rows;
    while (query.next()) {
        std::vector<QVariant> row;
        row.reserve(columns);
        for (int i = 0; i < columns; ++i)
            row.push_back(fieldValue(query, i));
        rows.push_back(std::move(row));
    }
    const QSqlError error = query.lastError();
    query.finish();
    if (error.isValid())
        throw m_connection.failure(error);
    return DbResult(m_fieldNames, std::move(rows), m_connection.sharedDialect());
}

void DbStatement::close()
{
    if (m_query.isActive())
        m_query.finish();
}
