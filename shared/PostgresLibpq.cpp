#include "shared/PostgresLibpq.h"

#include "shared/QtDriverHandle.h"

#include <QSqlDatabase>
#include <QSqlDriver>

#include <libpq-fe.h>

namespace {

constexpr int TextFormat = 0;
constexpr int BinaryFormat = 1;

} // namespace

pg_conn *libpqSession(const QSqlDatabase &database)
{
    // Qt 6 names the type as the compiler spells it; Qt 5 named it as the driver declares it.
    return qtDriverHandle<PGconn>(database.driver() ? database.driver()->handle() : QVariant(),
                                  {"pg_conn*", "PGconn*"});
}

PostgresParameters::PostgresParameters(const std::vector<QVariant> &values, QSqlError &error)
    : m_bytes(values.size()), m_pointers(values.size(), nullptr), m_lengths(values.size(), 0),
      m_formats(values.size(), TextFormat)
{
    for (std::size_t i = 0; i < values.size(); ++i) {
        const QVariant &value = values[i];
        if (value.isNull())
            continue;
        if (value.metaType().id() == QMetaType::QByteArray) {
            m_bytes[i] = value.toByteArray();
            m_formats[i] = BinaryFormat;
        } else {
            m_bytes[i] = value.toString().toUtf8();
            if (m_bytes[i].contains('\0'))
                error = QSqlError(QStringLiteral("QPSQL: ") + QLatin1String(UnableToCreateQuery),
                                  QStringLiteral("ERROR:  invalid byte sequence for encoding \"UTF8\": 0x00\n(22021)"),
                                  QSqlError::StatementError, QStringLiteral("22021"));
        }
        m_pointers[i] = m_bytes[i].constData();
        m_lengths[i] = int(m_bytes[i].size());
    }
}

QSqlError postgresFailure(const char *what, pg_conn *connection, pg_result *result)
{
    QString message = QString::fromUtf8(result ? PQresultErrorMessage(result) : PQerrorMessage(connection));
    QString code;
    if (result) {
        code = QString::fromLatin1(PQresultErrorField(result, PG_DIAG_SQLSTATE));
        message += QStringLiteral("(%1)").arg(code);
    }
    return QSqlError(QStringLiteral("QPSQL: ") + QLatin1String(what), message, QSqlError::StatementError, code);
}
