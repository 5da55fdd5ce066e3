#include "shared/config/ConnectionString.h"

#include "shared/config/DataLinkFile.h"
#include "shared/db/DbError.h"

#include <QDir>

namespace {

constexpr int LoginTimeoutSeconds = 15;

[[noreturn]] void refuse(const QString &message)
{
    throw DbError(DbError::Kind::AccessLayer, message);
}

QString unquoted(QString value)
{
    value = value.trimmed();
    if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') &&
        value.back() == value.front())
        value = value.mid(1, value.size() - 2);
    return value;
}

bool isSqlServerProvider(const QString &provider)
{
    const QString p = provider.toLower();
    return p.startsWith(QLatin1String("sqloledb")) || p.startsWith(QLatin1String("sqlncli")) ||
           p.startsWith(QLatin1String("msoledbsql"));
}

bool isYes(const QString &value)
{
    const QString v = value.toLower();
    return v == QLatin1String("sspi") || v == QLatin1String("yes") || v == QLatin1String("true");
}

ConnectionTarget sqlServerTarget(const QMap<QString, QString> &props)
{
    ConnectionTarget target;
    target.backend = Backend::SqlServer;
    target.databaseName = odbcConnectionString(props);
    target.serverLabel = props.value(QStringLiteral("data source"));
    target.connectTimeoutSeconds = LoginTimeoutSeconds;
    return target;
}

int postgresPort(const QString &text, const QString &dataSource)
{
    bool ok = false;
    const int port = text.trimmed().toInt(&ok);
    if (!ok || port <= 0 || port > 65535)
        refuse(QStringLiteral("The PostgreSQL Data Source \"%1\" has no valid port").arg(dataSource));
    return port;
}

// "host", "host,port", "host:port", the absolute folder of a Unix socket, or an IPv6 address: in
// brackets with or without a port ("[::1]:5433", "[::1],5433"), or bare without one ("fe80::1",
// whose colons are all its own).
void splitPostgresServer(const QString &dataSource, ConnectionTarget &target)
{
    QString host = dataSource.trimmed();
    if (host.startsWith(u'[')) {
        const qsizetype close = host.indexOf(u']');
        if (close < 0)
            refuse(QStringLiteral("The PostgreSQL Data Source \"%1\" has no closing \"]\"").arg(dataSource));
        const QString rest = host.mid(close + 1).trimmed();
        if (!rest.isEmpty()) {
            if (rest.front() != u':' && rest.front() != u',')
                refuse(QStringLiteral("The PostgreSQL Data Source \"%1\" has no valid port").arg(dataSource));
            target.port = postgresPort(rest.mid(1), dataSource);
        }
        host = host.mid(1, close - 1).trimmed();
    } else if (!host.startsWith(u'/')) {
        const qsizetype separator = host.contains(u',')       ? host.indexOf(u',')
                                    : host.count(u':') == 1 ? host.indexOf(u':')
                                                            : -1;
        if (separator > 0) {
            target.port = postgresPort(host.mid(separator + 1), dataSource);
            host = host.left(separator).trimmed();
        }
    }
    target.hostName = host;
}

ConnectionTarget postgresTarget(const QMap<QString, QString> &props)
{
    ConnectionTarget target;
    target.backend = Backend::PostgreSql;
    splitPostgresServer(props.value(QStringLiteral("data source")), target);
    target.databaseName = props.value(QStringLiteral("initial catalog"));
    target.userName = props.value(QStringLiteral("user id"));
    target.password = props.value(QStringLiteral("password"));
    bool ok = false;
    int timeout = props.value(QStringLiteral("connect timeout")).toInt(&ok);
    if (!ok || timeout <= 0)
        timeout = LoginTimeoutSeconds;
    target.connectTimeoutSeconds = timeout;
    target.serverLabel = props.value(QStringLiteral("data source"));
    if (target.serverLabel.isEmpty())
        target.serverLabel = QStringLiteral("(default PostgreSQL server)");
    return target;
}

ConnectionTarget sqliteTarget(const QMap<QString, QString> &props, const QString &programFolder)
{
    QString file = props.value(QStringLiteral("data source"));
    if (file.isEmpty())
        refuse(QStringLiteral("The SQLite connection string names no Data Source file"));
    if (file != QLatin1String(":memory:") && QDir::isRelativePath(file))
        file = QDir(programFolder).filePath(file);
    ConnectionTarget target;
    target.backend = Backend::Sqlite;
    target.databaseName = file;
    target.serverLabel = file;
    return target;
}

// Calls `piece(start, end)` for each ";"-separated piece of an init string. A value that begins with
// a quote (or, with `braces`, a "{") runs to the matching quote ("}"), ";" included.
template <typename Piece>
void forEachPiece(const QString &text, bool braces, Piece piece)
{
    qsizetype start = 0;
    QChar closing;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (!closing.isNull()) {
            if (c == closing)
                closing = QChar();
        } else if (c == u';') {
            piece(start, i);
            start = i + 1;
        } else if (c == u'"' || c == u'\'' || (braces && c == u'{')) {
            const qsizetype eq = text.indexOf(u'=', start);
            if (eq >= 0 && eq < i && QStringView(text).mid(eq + 1, i - eq - 1).trimmed().isEmpty())
                closing = c == u'{' ? QChar(u'}') : c;
        }
    }
    piece(start, text.size());
}

} // namespace

QMap<QString, QString> parseInitString(const QString &initString)
{
    QMap<QString, QString> props;
    forEachPiece(initString, false, [&](qsizetype start, qsizetype end) {
        const QString piece = initString.mid(start, end - start);
        const qsizetype eq = piece.indexOf(u'=');
        if (eq > 0)
            props.insert(piece.left(eq).trimmed().toLower(), unquoted(piece.mid(eq + 1)));
    });
    return props;
}

QString maskedConnectionString(const QString &connectionString)
{
    QString masked;
    qsizetype copied = 0;
    // Braces too: an ODBC-style value may hide a ";" in them, and masking more is harmless.
    forEachPiece(connectionString, true, [&](qsizetype start, qsizetype end) {
        const qsizetype eq = connectionString.indexOf(u'=', start);
        if (eq < 0 || eq >= end)
            return;
        const QString key = connectionString.mid(start, eq - start).trimmed().toLower();
        if (key != QLatin1String("password") && key != QLatin1String("pwd"))
            return;
        masked += QStringView(connectionString).mid(copied, eq + 1 - copied);
        masked += QLatin1String(MaskedPassword);
        copied = end;
    });
    masked += QStringView(connectionString).mid(copied);
    return masked;
}

QString odbcConnectionString(const QMap<QString, QString> &props)
{
    QString driver = props.value(QStringLiteral("driver"));
    if (driver.isEmpty())
        driver = qEnvironmentVariable("OVTRACK_ODBC_DRIVER", QStringLiteral("FreeTDS"));
    if (!driver.startsWith(u'{'))
        driver = u'{' + driver + u'}';

    QString server = props.value(QStringLiteral("data source"));
    if (server.startsWith(QLatin1String("tcp:"), Qt::CaseInsensitive))
        server = server.mid(4);
    QString port;
    if (server.contains(u',')) {
        port = server.section(u',', 1).trimmed();
        server = server.section(u',', 0, 0).trimmed();
    }
    if (server == QLatin1String(".") || server.compare(QLatin1String("(local)"), Qt::CaseInsensitive) == 0)
        server = QStringLiteral("localhost");

    QStringList parts{QStringLiteral("DRIVER=") + driver, QStringLiteral("SERVER=") + server};
    if (!port.isEmpty())
        parts << QStringLiteral("PORT=") + port;
    const QString catalog = props.value(QStringLiteral("initial catalog"));
    if (!catalog.isEmpty())
        parts << QStringLiteral("DATABASE=") + catalog;
    if (isYes(props.value(QStringLiteral("integrated security"))) ||
        isYes(props.value(QStringLiteral("trusted_connection")))) {
        parts << QStringLiteral("Trusted_Connection=Yes");
    } else {
        if (props.contains(QStringLiteral("user id")))
            parts << QStringLiteral("UID=") + props.value(QStringLiteral("user id"));
        if (props.contains(QStringLiteral("password")))
            parts << QStringLiteral("PWD={") + props.value(QStringLiteral("password")) + u'}';
    }
    parts << QStringLiteral("TDS_Version=7.3") << QStringLiteral("ClientCharset=UTF-8");
    return parts.join(u';');
}

ConnectionTarget resolveConnectionString(const QString &connectionString, const QString &programFolder,
                                         const QString &defaultProvider)
{
    QMap<QString, QString> props = parseInitString(connectionString);
    QString initString = connectionString;
    const QString dataLink = props.value(QStringLiteral("file name"));
    if (!dataLink.isEmpty()) {
        try {
            initString = readDataLinkFile(dataLink);
        } catch (const DataLinkError &e) {
            refuse(QString::fromStdString(e.what()));
        }
        props = parseInitString(initString);
    }

    QString provider = props.value(QStringLiteral("provider"));
    if (provider.isEmpty())
        provider = defaultProvider;

    ConnectionTarget target;
    if (isSqlServerProvider(provider))
        target = sqlServerTarget(props);
    else if (provider.compare(QLatin1String("SQLite"), Qt::CaseInsensitive) == 0)
        target = sqliteTarget(props, programFolder);
    else if (provider.compare(QLatin1String("PostgreSQL"), Qt::CaseInsensitive) == 0)
        target = postgresTarget(props);
    else if (provider.isEmpty())
        refuse(QStringLiteral("The connection string names no Provider"));
    else
        refuse(
            QStringLiteral(
                "Provider \"%1\" is not supported; use SQLOLEDB, SQLNCLI, MSOLEDBSQL, SQLite or PostgreSQL")
                .arg(provider));
    target.initString = initString;
    return target;
}
