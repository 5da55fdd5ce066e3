#pragma once

#include "loader/FileQuiescence.h"
#include "loader/MessageIdLookup.h"
#include "loader/MessageWriteLock.h"
#include "loader/TrackingRecord.h"

#include "shared/tracking/DbConnection.h"
#include "shared/tracking/DbStatement.h"
#include "shared/config/SettingsFile.h"
#include "shared/text/TextCodec.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

class LoaderLog;
class TrackingLine;
class ServiceControl;
class TrackingRetention;

// Raised by InitialzeSettings when the settings file cannot be read: the process must end with
// this exit code (after the log line has been written and the log closed).
struct SettingsUnreadable
{
    int exitCode = 1;
};

// What a start-up does beyond reading the settings and connecting.
enum class StartUp
{
    Service,        // the schema upgrades and indexes the import needs
    CreateDatabase, // creates a missing embedded database and the Tracking table first
    CountOnly,      // a dry run: no log, no default settings file, nothing created or altered
};

// The loader's service module: the loader state, its one connection and its statements, and every
// operation of the loader. Only the worker thread touches it.
class TsvcOVTrack
{
public:
    // `appDir` is the folder of the program file (with or without a trailing "/"); the start
    // parameters are the service's, index 0 being the service name.
    explicit TsvcOVTrack(const QString &appDir, QStringList startParameters = {});
    ~TsvcOVTrack();
    TsvcOVTrack(const TsvcOVTrack &) = delete;
    TsvcOVTrack &operator=(const TsvcOVTrack &) = delete;

    // Loader state, as the loader's operations name it.
    QString AppDir;
    QString TrackingDir;
    QString ConnectionString;
    QString ConnectFailure; // the database's message when start-up could not connect
    bool ProcessingHalted = false;
    bool TrackingTableMissing = false;
    bool LoggingEnabled = false;
    int LoggingLevel = 1;
    bool StoreHM = false;
    QStringList TrackFileExtensions;
    QString ShortDateFormat;
    int RetainDays = 0; // retaindays of the settings file; 0 keeps every row
    // Milliseconds to pause after each imported file (settings key filepause): a site with a
    // backlog sets 0 to let it drain at the database's pace.
    int FilePause = DefaultFilePause;
    // Lines and files of the passes so far that could not be written to the database (their lines
    // went to errors/ or wait in their files): a one-shot run then ends with a failure status.
    int UnwrittenFiles = 0;
    DbConnection adoConn1;

    // How the loader waits (the pauses of the import and content store, the loop's sleep). Tests
    // may shorten it; the program keeps the real one.
    std::function<void(int milliseconds)> Sleep;
    // The looks at tracking and content files from pass to pass; tests may give it their own clock.
    FileQuiescence FileLooks;

    // Log.
    void WriteLog(int level, const QString &text);
    // Whether WriteLog writes a line of `level`: callers skip building texts that would be dropped.
    bool logs(int level) const;
    void ReadLoggingSettings();
    void OpenLog();
    void ReopenLog(); // close and open again for appending: writes out what is buffered
    void CloseLog();
    QString LogFileName() const;

    // Start-up and the schema operations it uses.
    // Throws SettingsUnreadable; database check errors escape as DbError.
    void InitialzeSettings(StartUp startUp = StartUp::Service);
    bool TableExists(const QString &name);
    bool ColumnExists(const QString &table, const QString &column);
    int ColumnMaxLength(const QString &table, const QString &column);
    bool AddColumn(const QString &table, const QString &column, const QString &type, const QString &size);
    bool UpdateFieldWidths();
    bool CreateContentTable();
    // After a create or add failed: whether what it was to make exists all the same (another
    // program starting at the same moment made it first). A failing check answers false.
    static bool existsAfterFailedCreate(const std::function<bool()> &exists);

    // Record writes.
    bool InsertTrackingData(const TrackingRecord &record);
    bool UpdateTrackingData(const TrackingRecord &record);

    // Receipts and notifications.
    int UpdateDeliveryTime(const QString &msgId, const QString &pracId, const DateField &deliveryTime,
                           const QString &sender);
    int updateReadStatus(const QString &msgId, const QString &sender, const QString &pracId,
                         const QString &fileName, int statusCode, const DateField &deliveryTime,
                         const std::optional<QDateTime> &statusTime);
    LowDeliveryTime GetLowDeliveryTime(const QString &msgId);

    // Import.
    void doImport();
    int GetExistingRow(const QString &msgId, ExistingTrackingRow &row);

    // Content store.
    void StoreContentFiles();

    // Service events; the host calls them on the threads its design gives them.
    void ServiceCreate();
    void ServiceStart();
    void ServiceExecute(ServiceControl &control);
    void ServicePause();
    void ServiceContinue();
    void ServiceStop();
    void ServiceDestroy();

    // The ONCE switch of the program: start-up and exactly one periodic work, then return.
    void ServiceExecuteOnce(ServiceControl &control);

    const QStringList &startParameters() const { return m_startParameters; }

    // Retention (ServiceRetention.cpp): a run starts at start-up and every day after; the loop gives
    // it a short slice each turn so that the import is never held up for long.
    void runRetentionSlice(const QDateTime &now);
    void runRetentionToEnd(const QDateTime &now);

private:
    // --- import and writes (record writes, receipts, start-up) ---
    QStringList m_startParameters;
    std::unique_ptr<LoaderLog> m_log;

    // The reused statements, under the names the loader's operations give them.
    DbStatement qryInsertTracking;
    DbStatement qryUpdateTracking;
    DbStatement ReceiptUpdate;
    DbStatement UpdateReadStatusQuery;
    DbStatement qryErrorMsgRowsToUpdate;
    DbStatement qryErrorStatusRowsToUpdate;
    MessageIdLookup LowDeliveryLookup;
    MessageIdLookup ExistingRowLookup;
    MessageWriteLocks MessageLocks;

    void defineWriteStatements();
    void defineReceiptStatements();

    // Start-up steps.
    void applySettingsFile(bool mayWriteDefault);
    void connectDatabase(bool mayCreate);
    bool createTrackingTable();
    void prepareContentTable();
    void upgradeTrackingColumns();
    void createSearchIndexes();
    // The start-up steps that need the database (content table, added columns, widths, indexes):
    // run at start-up, or after the first connection when the database could not be reached then.
    void prepareDatabase();
    bool m_databasePrepared = false;
    // The width upgrade's steps: whether a column's values all fit the narrower width (a level-2
    // line names the column when not), and the rebuild where no column can be altered.
    bool fitsNarrowerWidth(const QString &table, const QString &column, int current, int width);
    bool rebuildWithWidths(const QString &table, const QHash<QString, int> &widths);

    // The sequence both record writes share; `operation` names it in the log.
    bool writeTrackingRecord(DbStatement &statement, const QString &operation, const TrackingRecord &record);
    int messageRowCount(const QString &msgId);
    int fileRowCount(const QString &msgId, const QString &fileName, const QString &sender);

    // One tracking file of a pass; true when it completed normally. `stop` ends the pass.
    bool importTrackingFile(const QString &name, bool &stop);
    // After the connection was lost at line `index`: that line and those before it stay in the file
    // (of `total` lines when read), the refused lines after it go to "errors/", and the pass ends.
    void leaveForNextPass(const QString &name, const QStringList &lines, int index, qsizetype total,
                          TextEncoding encoding, const QString &reason, bool &stop);
    // The errors copy of the lines left and the deletion of the file.
    void finishTrackingFile(const QString &name, const QStringList &remaining, TextEncoding encoding,
                            bool &stop);
    enum class LineOutcome
    {
        Applied, // leaves the file
        Refused, // refused for its data: goes to "errors/"
        Waiting  // cut by a lost connection and no new one to be had: stays in its file
    };
    // One data line, tried once more on a new connection when the connection was lost under it;
    // `reason` then holds the database's message.
    LineOutcome tryTrackingLine(const QString &fileName, int index, const QString &line, QString &reason);
    // One data line; true when it was applied and leaves the file.
    bool importTrackingLine(const QString &fileName, int index, const QString &line);
    // The line's lookup and writes, while its message is held against other writers.
    bool applyTrackingLine(const QString &fileName, int index, const TrackingLine &line, const QString &text);
    bool writeRecord(const QString &fileName, int index, const TrackingRecord &record, bool update);
    // An entry of the tracking folder that is not read: one level-2 line the first time it is seen.
    void leaveEntryAlone(const QString &name, const QString &why);
    QSet<QString> m_entriesLeftAlone;
    // After a failed line: whether the database cannot be reached at all, tried by reconnecting;
    // `reason` then holds the database's message.
    bool databaseUnreachable(QString &reason);
    // Rewrites a tracking file with the lines not yet applied, for the next pass; false when it
    // cannot be written (the file is then left as it was, and its applied lines come again).
    bool keepLinesForNextPass(const QString &name, const QStringList &lines, TextEncoding encoding);

    // --- service loop and content store ---
    ServiceControl *m_control = nullptr;

    // Connection check, import and content store; false when the database could not be reached.
    bool runPeriodicWork();
    // The database cannot be reached, wherever that was found: one level-3 line, and the loop waits
    // before it opens a new connection. `reason` is the database's message.
    void waitForDatabase(const QString &reason);
    bool m_waitingForDatabase = false;
    QString m_unreachableReason;
    void storeContentFile(DbStatement &contentInsert, const QString &name);
    // Inserts the content unless these bytes are stored for the message already; true when inserted.
    bool storeContentOnce(DbStatement &contentInsert, const QString &messageId, const QByteArray &data);
    // Deletes a stored content file, retrying once after the hold-off; false when both attempts fail.
    bool deleteStoredContentFile(const QString &path);

    // --- retention ---
    std::unique_ptr<TrackingRetention> m_retention; // the run in progress, if any
    QDateTime m_nextRetention;                      // when the next run starts
    void finishRetentionRun();
};
