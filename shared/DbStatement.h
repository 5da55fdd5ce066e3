#pragma once

#include "shared/DbResult.h"
#include "shared/PostgresNativeQuery.h"
#include "shared/SqliteNativeStatement.h"

#include <QSqlQuery>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <vector>

class DbConnection;
class PostgresPreparedStatement;

enum class ParamType
{
    Text,
    DateTime,
    SmallInt,
    Int,
    LongText
};

// A statement with ":Name" parameters, defined once and reused, or made for one use. Parameters
// are matched by name without regard to case; a null or invalid value binds SQL NULL.
class DbStatement
{
public:
    explicit DbStatement(DbConnection &connection, const QString &text = {});
    ~DbStatement();

    // Setting the text closes the statement and forgets the bindings.
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
    // A new prepared, bound query for callers that walk a large result themselves. Throws DbError.
    QSqlQuery prepareBound();
    // On PostgreSQL, sends the bound statement through libpq unprepared and stands on its first row
    // (see PostgresNativeQuery); null on every other backend. Throws DbError.
    std::unique_ptr<PostgresNativeQuery> startOnPostgres();
    void close();

    DbConnection &connection() const { return m_connection; }

private:
    struct Binding
    {
        QString name;
        ParamType type;
        QVariant value;
    };

    qsizetype bindingIndex(const QString &name, size_t hint) const; // -1 when not bound
    QVariant boundValue(const Binding &binding) const;
    QSqlQuery &run();
    void bindAll(QSqlQuery &query) const;
    template <typename Bind>
    void bindEach(Bind &&bind) const;
    SqliteNativeStatement *boundNativeForm();
    PostgresPreparedStatement *postgresForm();
    int runPrepared(PostgresPreparedStatement &prepared, std::vector<std::vector<QVariant>> *rows,
                    QStringList *fieldNames = nullptr);
    const QByteArray &numberedText();
    std::vector<QVariant> boundValues() const;
    int runNative(SqliteNativeStatement &native, std::vector<std::vector<QVariant>> *rows);

    DbConnection &m_connection;
    QString m_text;
    // What the text names, read once per text: a reused statement runs thousands of times.
    QStringList m_parameterNames;
    QStringList m_placeholders; // the names with their colon, as the driver binds them
    std::vector<Binding> m_bindings;
    // True while the bindings are the text's names in order, as written: the next name then needs
    // no search, since the names differ without regard to case.
    bool m_bindingsFollowText = true;
    QSqlQuery m_query;
    bool m_prepared = false;
    int m_preparedGeneration = -1;
    QStringList m_fieldNames; // of the prepared form's result, once it has run
    bool m_fieldNamesKnown = false;
    // On SQLite, the form prepared on the handle itself, for the session of m_nativeGeneration;
    // null when the text stays with Qt's driver.
    std::unique_ptr<SqliteNativeStatement> m_native;
    int m_nativeGeneration = -1;
    QByteArray m_numberedText; // the text with libpq's "$n" parameters, made on first use
    // On PostgreSQL, the form prepared through libpq for the session of m_postgresGeneration.
    std::unique_ptr<PostgresPreparedStatement> m_postgres;
    int m_postgresGeneration = -1;
    int m_postgresRuns = 0; // runs in that session, to prepare on the second
};
