#include "shared/PostgresRow.h"

#include "shared/QtDriverHandle.h"
#include "shared/WallClock.h"

#include <QSqlQuery>
#include <QSqlResult>

#include <libpq-fe.h>

namespace {

// pg_type's numbers for the types this program's tables and statements give back.
constexpr Oid BoolOid = 16;
constexpr Oid ByteaOid = 17;
constexpr Oid Int8Oid = 20;
constexpr Oid Int2Oid = 21;
constexpr Oid Int4Oid = 23;
constexpr Oid OidOid = 26;
constexpr Oid Float4Oid = 700;
constexpr Oid Float8Oid = 701;
constexpr Oid DateOid = 1082;
constexpr Oid TimestampOid = 1114; // without time zone
constexpr Oid NumericOid = 1700;

QMetaType metaTypeOf(Oid type)
{
    switch (type) {
    case BoolOid:
        return QMetaType::fromType<bool>();
    case ByteaOid:
        return QMetaType::fromType<QByteArray>();
    case Int8Oid:
        return QMetaType::fromType<qlonglong>();
    case Int2Oid:
    case Int4Oid:
    case OidOid:
        return QMetaType::fromType<int>();
    case Float4Oid:
    case Float8Oid:
    case NumericOid:
        return QMetaType::fromType<double>();
    case DateOid:
        return QMetaType::fromType<QDate>();
    case TimestampOid:
        return QMetaType::fromType<QDateTime>();
    default:
        return QMetaType::fromType<QString>();
    }
}

int digits(QByteArrayView text, qsizetype from, qsizetype count)
{
    int n = 0;
    for (qsizetype i = from; i < from + count; ++i) {
        const char c = text[i];
        if (c < '0' || c > '9')
            return -1;
        n = n * 10 + (c - '0');
    }
    return n;
}

} // namespace

std::optional<PostgresRow> PostgresRow::of(const QSqlQuery &query)
{
    const QSqlResult *result = query.result();
    if (!result || !query.isValid())
        return std::nullopt;
    // Qt 6 names the type as the compiler spells it; Qt 5 named it as the driver declares it.
    auto *pg = qtDriverHandle<PGresult>(result->handle(), {"pg_result*", "PGresult*"});
    // A forward-only query fetches one row per result (single-row mode); Qt reads it the same way.
    const int row = query.isForwardOnly() ? 0 : query.at();
    if (!pg || row < 0 || row >= PQntuples(pg))
        return std::nullopt;
    return PostgresRow(pg, row);
}

bool PostgresRow::isNull(int column) const
{
    return PQgetisnull(m_result, m_row, column) != 0;
}

bool PostgresRow::isTimestamp(int column) const
{
    return PQftype(m_result, column) == TimestampOid;
}

QVariant PostgresRow::value(int column) const
{
    const QMetaType type = metaTypeOf(PQftype(m_result, column));
    if (isNull(column))
        return QVariant(type);
    const QByteArrayView field = text(column);
    switch (type.id()) {
    case QMetaType::Bool:
        return field == "t";
    case QMetaType::QByteArray: {
        size_t length = 0;
        unsigned char *bytes = PQunescapeBytea(reinterpret_cast<const unsigned char *>(field.data()), &length);
        const QByteArray value(reinterpret_cast<const char *>(bytes), qsizetype(length));
        PQfreemem(bytes);
        return value;
    }
    case QMetaType::LongLong:
        return field.toByteArray().toLongLong();
    case QMetaType::Int:
        return field.toByteArray().toInt();
    case QMetaType::Double:
        return field.toByteArray().toDouble();
    case QMetaType::QDate:
        return QDate::fromString(QString::fromLatin1(field), Qt::ISODate);
    case QMetaType::QDateTime:
        if (const std::optional<QDateTime> wall = wallClock(field))
            return *wall;
        return QVariant(type); // "infinity" and the like: no date-time this program can hold
    default:
        return QString::fromUtf8(field);
    }
}

QByteArrayView PostgresRow::text(int column) const
{
    return {PQgetvalue(m_result, m_row, column), PQgetlength(m_result, m_row, column)};
}

std::optional<QDateTime> PostgresRow::wallClock(QByteArrayView text)
{
    const qsizetype size = text.size();
    if (size < 19 || text[4] != '-' || text[7] != '-' || text[10] != ' ' || text[13] != ':' ||
        text[16] != ':')
        return std::nullopt;
    int msec = 0;
    if (size > 19) {
        const qsizetype fraction = size - 20;
        if (text[19] != '.' || fraction < 1 || fraction > 6 || digits(text, 20, fraction) < 0)
            return std::nullopt;
        for (qsizetype i = 0; i < 3; ++i)
            msec = msec * 10 + (i < fraction ? text[20 + i] - '0' : 0);
    }
    const QDate date(digits(text, 0, 4), digits(text, 5, 2), digits(text, 8, 2));
    const QTime time(digits(text, 11, 2), digits(text, 14, 2), digits(text, 17, 2), msec);
    if (!date.isValid() || !time.isValid())
        return std::nullopt;
    return WallClock::of(date, time);
}
