#include "shared/SqliteNativeStatement.h"

#include "shared/SqliteNativeSession.h"

#include <QStringEncoder>

#include <sqlite3.h>

#include <algorithm>
#include <optional>

namespace {

bool isBlank(const char *tail)
{
    for (; tail && *tail; ++tail) {
        if (!QChar::isSpace(static_cast<unsigned char>(*tail)))
            return false;
    }
    return true;
}

// SQLite's parameter indexes for each name, or nothing when SQLite sees other parameters than the
// names (a placeholder inside a comment, a "?" or "@name" the access layer does not know).
std::optional<std::vector<std::vector<int>>> indexesOfNames(sqlite3_stmt *statement, const QStringList &names)
{
    std::vector<std::vector<int>> indexes(static_cast<size_t>(names.size()));
    const int count = sqlite3_bind_parameter_count(statement);
    for (int i = 1; i <= count; ++i) {
        const char *raw = sqlite3_bind_parameter_name(statement, i);
        if (!raw || raw[0] != ':')
            return std::nullopt;
        const QString name = QString::fromUtf8(raw + 1);
        const auto named = std::find_if(names.begin(), names.end(), [&name](const QString &known) {
            return known.compare(name, Qt::CaseInsensitive) == 0;
        });
        if (named == names.end())
            return std::nullopt;
        indexes[static_cast<size_t>(named - names.begin())].push_back(i);
    }
    for (const std::vector<int> &forName : indexes) {
        if (forName.empty())
            return std::nullopt;
    }
    return indexes;
}

} // namespace

std::unique_ptr<SqliteNativeStatement> SqliteNativeStatement::prepare(SqliteNativeSession &session,
                                                                      const QString &text,
                                                                      const QStringList &parameterNames)
{
    const QByteArray sql = text.toUtf8();
    sqlite3_stmt *statement = nullptr;
    const char *tail = nullptr;
    if (sqlite3_prepare_v3(session.handle(), sql.constData(), static_cast<int>(sql.size()) + 1,
                           SQLITE_PREPARE_PERSISTENT, &statement, &tail) != SQLITE_OK ||
        !statement || !isBlank(tail)) {
        sqlite3_finalize(statement);
        return nullptr;
    }
    auto indexes = indexesOfNames(statement, parameterNames);
    if (!indexes) {
        sqlite3_finalize(statement);
        return nullptr;
    }
    std::unique_ptr<SqliteNativeStatement> result(new SqliteNativeStatement(session, statement));
    result->m_indexesOfName = std::move(*indexes);
    result->m_boundBytes.resize(static_cast<size_t>(sqlite3_bind_parameter_count(statement)) + 1);
    for (int i = 0; i < sqlite3_column_count(statement); ++i)
        result->m_fieldNames << QString::fromUtf8(sqlite3_column_name(statement, i)).remove(u'"');
    return result;
}

SqliteNativeStatement::SqliteNativeStatement(SqliteNativeSession &session, sqlite3_stmt *statement)
    : m_session(&session), m_statement(statement)
{
    session.adopt(this);
}

SqliteNativeStatement::~SqliteNativeStatement()
{
    if (m_session)
        m_session->release(this);
    finalize();
}

void SqliteNativeStatement::finalize()
{
    sqlite3_finalize(m_statement);
    m_statement = nullptr;
    m_session = nullptr;
}

// As Qt's driver binds: NULL for a null value or a null text or byte array, whole numbers as
// integers, byte arrays as blobs, everything else as its text.
void SqliteNativeStatement::bind(qsizetype nameIndex, const QVariant &value)
{
    if (nameIndex == 0)
        m_bindFailure = SQLITE_OK;
    for (const int i : m_indexesOfName[static_cast<size_t>(nameIndex)]) {
        int rc = SQLITE_OK;
        QByteArray &bytes = m_boundBytes[static_cast<size_t>(i)];
        switch (value.isNull() ? QMetaType::UnknownType : value.metaType().id()) {
        case QMetaType::UnknownType:
            rc = sqlite3_bind_null(m_statement, i);
            break;
        case QMetaType::Int:
        case QMetaType::Bool:
            rc = sqlite3_bind_int(m_statement, i, value.toInt());
            break;
        case QMetaType::Double:
            rc = sqlite3_bind_double(m_statement, i, value.toDouble());
            break;
        case QMetaType::UInt:
        case QMetaType::LongLong:
            rc = sqlite3_bind_int64(m_statement, i, value.toLongLong());
            break;
        case QMetaType::QByteArray:
            bytes = value.toByteArray();
            rc = bytes.isNull() ? sqlite3_bind_null(m_statement, i)
                                : sqlite3_bind_blob(m_statement, i, bytes.constData(),
                                                    static_cast<int>(bytes.size()), SQLITE_STATIC);
            break;
        default: {
            const QString text = value.toString();
            if (text.isNull()) {
                rc = sqlite3_bind_null(m_statement, i);
                break;
            }
            // Into the buffer of the last run: its room is kept, so most runs allocate nothing.
            QStringEncoder utf8(QStringEncoder::Utf8, QStringEncoder::Flag::Stateless);
            bytes.resize(utf8.requiredSpace(text.size()));
            bytes.truncate(utf8.appendToBuffer(bytes.data(), text) - bytes.constData());
            rc = sqlite3_bind_text(m_statement, i, bytes.constData(), static_cast<int>(bytes.size()),
                                   SQLITE_STATIC);
            break;
        }
        }
        if (rc != SQLITE_OK && m_bindFailure == SQLITE_OK)
            m_bindFailure = rc;
    }
}

// As Qt's driver reads: whole numbers as qlonglong, reals as double, blobs as byte arrays, NULL as
// a null text, the rest as text.
QVariant SqliteNativeStatement::columnValue(int column) const
{
    switch (sqlite3_column_type(m_statement, column)) {
    case SQLITE_INTEGER:
        return QVariant(qlonglong(sqlite3_column_int64(m_statement, column)));
    case SQLITE_FLOAT:
        return QVariant(sqlite3_column_double(m_statement, column));
    case SQLITE_BLOB:
        return QVariant(QByteArray(static_cast<const char *>(sqlite3_column_blob(m_statement, column)),
                                   sqlite3_column_bytes(m_statement, column)));
    case SQLITE_NULL:
        return QVariant(QMetaType::fromType<QString>());
    default:
        break;
    }
    const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(m_statement, column));
    return QVariant(QString::fromUtf8(text, sqlite3_column_bytes(m_statement, column)));
}

int SqliteNativeStatement::run(std::vector<std::vector<QVariant>> *rows, QSqlError &error)
{
    error = QSqlError();
    int changes = 0;
    if (m_bindFailure != SQLITE_OK) {
        error = failure(QStringLiteral("Unable to bind parameters"), m_bindFailure);
    } else {
        const int columns = sqlite3_column_count(m_statement);
        int rc = SQLITE_OK;
        while ((rc = sqlite3_step(m_statement)) == SQLITE_ROW) {
            if (!rows)
                continue;
            std::vector<QVariant> row;
            row.reserve(static_cast<size_t>(columns));
            for (int i = 0; i < columns; ++i)
                row.push_back(columnValue(i));
            rows->push_back(std::move(row));
        }
        if (rc == SQLITE_DONE)
            changes = sqlite3_changes(m_session->handle());
        else
            error = failure(QStringLiteral("Unable to fetch row"), rc);
    }
    sqlite3_reset(m_statement);
    sqlite3_clear_bindings(m_statement);
    m_bindFailure = SQLITE_OK;
    return changes;
}

QSqlError SqliteNativeStatement::failure(const QString &driverText, int code) const
{
    return QSqlError(driverText, QString::fromUtf8(sqlite3_errmsg(m_session->handle())),
                     QSqlError::ConnectionError, QString::number(code));
}
