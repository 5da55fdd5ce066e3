#pragma once

#include <QString>

// A private PostgreSQL server on a folder of its own: data in "data/", the Unix socket in the folder
// itself, no TCP, fsync off. As root the server runs as the unprivileged "postgres" user, because
// the server refuses to run as root.
class PostgresServer
{
public:
    explicit PostgresServer(QString folder);

    // Empty when initdb and pg_ctl are installed; otherwise why the PostgreSQL tests skip.
    static QString unavailableReason();
    // The login every test server makes at initdb; it owns the server.
    static QString superuser() { return QStringLiteral("ovtrack"); }

    // initdb when the data folder is new, then pg_ctl start; returns false with `error` filled.
    bool start(QString *error = nullptr);
    // pg_ctl stop, fast: sessions are ended.
    bool stop();
    bool isRunning() const;

    const QString &socketFolder() const { return m_folder; }
    // A connection string for a database on this server.
    QString connectionString(const QString &database) const;

private:
    int run(const QString &program, const QStringList &arguments, QString *output = nullptr) const;

    QString m_folder;
};
