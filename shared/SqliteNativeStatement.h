#pragma once

#include <QByteArray>
#include <QSqlError>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <memory>
#include <vector>

struct sqlite3_stmt;
class SqliteNativeSession;

// One statement prepared once on a session's SQLite handle and run many times: bound by index,
// reset and unbound after each run. Values go in and come out as Qt's SQLite driver binds and
// reads them, and failures carry the driver's texts, so that callers cannot tell the two apart.
class SqliteNativeStatement
{
public:
    // Null when `text` is not a single statement whose parameters are exactly `parameterNames`
    // (compared without regard to case), or does not prepare: such a text stays with Qt's driver,
    // which reports it as it always has.
    static std::unique_ptr<SqliteNativeStatement> prepare(SqliteNativeSession &session, const QString &text,
                                                          const QStringList &parameterNames);
    ~SqliteNativeStatement();
    SqliteNativeStatement(const SqliteNativeStatement &) = delete;
    SqliteNativeStatement &operator=(const SqliteNativeStatement &) = delete;

    // False once its session has ended: the statement must be prepared again.
    bool isPrepared() const { return m_statement != nullptr; }
    // The result's column names, as Qt's driver gives them.
    const QStringList &fieldNames() const { return m_fieldNames; }

    // Binds the value of the parameter `parameterNames[nameIndex]`; binding the first name starts
    // a new round.
    void bind(qsizetype nameIndex, const QVariant &value);
    // Steps to the end, reading the rows into `rows` when given; returns the rows changed. On
    // failure `error` is set as Qt's driver words it. Either way the statement is left reset.
    int run(std::vector<std::vector<QVariant>> *rows, QSqlError &error);

private:
    friend class SqliteNativeSession;

    SqliteNativeStatement(SqliteNativeSession &session, sqlite3_stmt *statement);
    void finalize();
    QSqlError failure(const QString &driverText, int code) const;
    QVariant columnValue(int column) const;

    SqliteNativeSession *m_session;
    sqlite3_stmt *m_statement;
    std::vector<std::vector<int>> m_indexesOfName; // SQLite's parameter indexes for each name
    std::vector<QByteArray> m_boundBytes; // the texts and blobs bound, kept until the run is over
    QStringList m_fieldNames;
    int m_bindFailure = 0; // SQLite's code of the first bind that failed since the last run
};
