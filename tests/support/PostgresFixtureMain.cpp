#include "tests/support/PostgresServer.h"

#include <QCoreApplication>
#include <QDir>

#include <cstdio>

// CTest's set-up and clean-up of the run's PostgreSQL server: "start FOLDER" or "stop FOLDER".
// Without PostgreSQL the start says why and succeeds, and the PostgreSQL tests skip with that reason.
int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 3 || (args[1] != QLatin1String("start") && args[1] != QLatin1String("stop"))) {
        std::fprintf(stderr, "usage: pg_test_server start|stop FOLDER\n");
        return 2;
    }
    PostgresServer server(args[2]);
    const QString reason = PostgresServer::unavailableReason();
    if (!reason.isEmpty()) {
        std::printf("PostgreSQL tests will skip: %s\n", qPrintable(reason));
        return 0;
    }
    if (args[1] == QLatin1String("stop")) {
        server.stop();
        QDir(args[2]).removeRecursively();
        return 0;
    }
    // A server left by an interrupted run is replaced.
    server.stop();
    QDir(args[2]).removeRecursively();
    QString error;
    if (!server.start(&error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    std::printf("PostgreSQL test server on %s\n", qPrintable(args[2]));
    return 0;
}
