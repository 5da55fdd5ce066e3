#pragma once

#include "tests/support/TestFolder.h"

#include "shared/tracking/DbConnection.h"

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// The real OVTrackSvc program in a temporary program folder of its own: the program copied in,
// settings.txt naming the folder's tracking/ sub-folder, qztrack.udl for `initString` (by default
// "Provider=SQLite;Data Source=tracking.db") and that database with an empty Tracking.
class LoaderProgram
{
public:
    struct Result
    {
        int exitCode = -1;
        QString standardOutput;
        QString standardError;
    };

    explicit LoaderProgram(const QString &initString = {});
    ~LoaderProgram();

    QString folder() const { return m_folder.path(); }
    QString trackingDir() const { return m_folder.path() + QStringLiteral("tracking/"); }
    QString programPath() const { return m_folder.path() + QStringLiteral("OVTrackSvc"); }

    // Files as the messaging server leaves them, old enough to be taken at the next pass.
    QString dropTracking(const QString &name, const QStringList &lines) const;
    QString dropFile(const QString &name, const QByteArray &bytes) const;
    // Tracking and content files still waiting in the tracking folder (sub-folders aside).
    int waitingFiles() const;

    // Runs the program to its end with the arguments; `environment` adds NAME=value pairs.
    Result run(const QStringList &arguments, const QStringList &environment = {}) const;

    // Starts the service in the background with turns of `turnMilliseconds`; `environment` adds
    // NAME=value pairs.
    void start(const QStringList &arguments, int turnMilliseconds, const QStringList &environment = {});
    void sendSignal(int signal) const;
    // The exit status once the service has ended, or nothing after the timeout.
    std::optional<int> waitForExit(int timeoutMilliseconds);

    int rowCount(const QString &table);
    QVariant field(const QString &msgId, const QString &column);
    std::vector<QByteArray> content(const QString &msgId);
    QString log() const;

    // Polls until the condition holds; false when it still does not after the timeout.
    static bool waitFor(const std::function<bool()> &condition, int timeoutMilliseconds = 20000);

private:
    TestFolder m_folder;
    QProcess m_process;
    DbConnection m_database;
};

// The OVTrackSvc program of this build.
QString builtLoaderProgram();
