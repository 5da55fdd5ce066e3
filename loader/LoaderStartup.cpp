#include "loader/FieldValues.h"
#include "loader/LoaderLog.h"
#include "loader/OVTrackSvcForm.h"

#include "shared/config/ConnectionString.h"
#include "shared/db/DbError.h"
#include "shared/config/SettingsFile.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>

namespace {

const QString CrLf = QStringLiteral("\r\n");

} // namespace

void TsvcOVTrack::InitialzeSettings(StartUp startUp)
{
    const bool countOnly = startUp == StartUp::CountOnly;
    ProcessingHalted = false;
    LoggingEnabled = false;
    m_waitingForDatabase = false;
    m_databasePrepared = false;
    TrackFileExtensions = {QStringLiteral(".qzd"), QStringLiteral(".csv")};
    // The defaults the settings file is read over.
    TrackingDir.clear();
    ConnectionString.clear();
    StoreHM = false;
    RetainDays = 0;
    ShortDateFormat = QLocale::system().dateFormat(QLocale::ShortFormat);
    FilePause = DefaultFilePause;
    try {
        if (!countOnly)
            OpenLog();
    } catch (...) {
        LoggingEnabled = false;
    }

    const QString dataLink = AppDir + QStringLiteral("qztrack.udl");
    if (QFileInfo::exists(dataLink)) {
        ConnectionString = QStringLiteral("File name=") + dataLink;
        WriteLog(1, QStringLiteral("Assigned the Connection using file: ") + dataLink);
    } else {
        WriteLog(1, QStringLiteral("Connection file ") + dataLink + QStringLiteral("does not exist"));
    }

    applySettingsFile(!countOnly);
    connectDatabase(startUp == StartUp::CreateDatabase);
    WriteLog(1, QStringLiteral("finished setting values values from settings file."));
    if (countOnly || (startUp == StartUp::CreateDatabase && !adoConn1.isOpen()))
        return;
    if (startUp == StartUp::CreateDatabase && !TableExists(QStringLiteral("Tracking"))) {
        WriteLog(1, QStringLiteral("Creating the Tracking table"));
        if (!createTrackingTable())
            return;
    }

    if (m_waitingForDatabase)
        return; // the loop prepares the database once it reaches it
    try {
        prepareDatabase();
    } catch (const DbError &e) {
        if (!e.isConnectionLost())
            throw;
        waitForDatabase(e.message());
    }
}

void TsvcOVTrack::prepareDatabase()
{
    prepareContentTable();
    upgradeTrackingColumns();
    if (ColumnMaxLength(QStringLiteral("Tracking"), QStringLiteral("MsgID")) != 100) {
        WriteLog(2, QStringLiteral("Updating Field Widths..."));
        if (!UpdateFieldWidths())
            WriteLog(2, QStringLiteral("Error: Field Widths could not be altered to Correct size"));
    }
    createSearchIndexes();
    m_databasePrepared = true;
}

void TsvcOVTrack::applySettingsFile(bool mayWriteDefault)
{
    const QString settingsPath = AppDir + QLatin1String(SettingsFileName);
    if (mayWriteDefault && !QFileInfo::exists(settingsPath)) {
        try {
            WriteDefaultSettings(settingsPath, ShortDateFormat);
        } catch (const std::exception &e) {
            WriteLog(1, QStringLiteral("Uable to create default Settings File ") + errorText(e));
        }
    }

    QStringList lines;
    try {
        lines = readSettingsLines(settingsPath);
    } catch (const std::exception &e) {
        WriteLog(1, QStringLiteral("Error encountered reading the Settings file. ") + errorText(e) + CrLf +
                        QStringLiteral("Service will halt."));
        CloseLog();
        throw SettingsUnreadable{};
    }

    WriteLog(2, QStringLiteral("Setting values from settings file."));
    LoaderSettings settings;
    settings.trackingDir = TrackingDir;
    settings.connectionString = ConnectionString;
    settings.storeHM = StoreHM;
    settings.shortDateFormat = ShortDateFormat;
    settings.trackFileExtensions = TrackFileExtensions;
    settings.filePause = FilePause;
    applyLoaderSettingsLines(settings, lines, [this](int lineNumber, const QString &error) {
        WriteLog(1, QStringLiteral("Error occurred setting a value on line ") + QString::number(lineNumber) +
                        CrLf + error);
    });
    TrackingDir = settings.trackingDir;
    ConnectionString = settings.connectionString;
    StoreHM = settings.storeHM;
    ShortDateFormat = settings.shortDateFormat;
    TrackFileExtensions = settings.trackFileExtensions;
    RetainDays = settings.retainDays;
    FilePause = settings.filePause;

    if (!TrackingDir.isEmpty()) {
        WriteLog(1, QStringLiteral("Tracking Directory is ") + TrackingDir);
    } else if (const QString summaries = AppDir + QStringLiteral("summaries/");
               QFileInfo(summaries).isDir()) {
        TrackingDir = summaries;
        WriteLog(1, QStringLiteral("Tracking Directory not indicated, assumed ") + summaries);
    } else {
        WriteLog(1, QStringLiteral("Tracking Directory not indicated: PAUSED"));
        ProcessingHalted = true;
    }
    ConnectionString = completeConnectionString(ConnectionString);
    // The order of day, month and year decides every imported date: say which one is in force.
    WriteLog(1, QStringLiteral("Tracking dates are read as %1 (shortdateformat)").arg(ShortDateFormat));
}

void TsvcOVTrack::connectDatabase(bool mayCreate)
{
    if (ConnectionString.isEmpty()) {
        ConnectFailure = QStringLiteral("no connection string in settings.txt or qztrack.udl");
        WriteLog(1, QStringLiteral("Connection String is missing"));
        ProcessingHalted = true;
        return;
    }
    try {
        adoConn1.close();
        if (mayCreate)
            adoConn1.openCreating(ConnectionString);
        else
            adoConn1.open(ConnectionString);
        WriteLog(1, QStringLiteral("Connected to DB OK."));
    } catch (const std::exception &e) {
        ConnectFailure = errorText(e);
        WriteLog(1, QStringLiteral("DB Connection failed: ") + errorText(e) + QStringLiteral("; ") +
                        QStringLiteral("Connections string was ") + CrLf +
                        maskedConnectionString(ConnectionString));
        // A server that is not there yet (started after the loader, or restarting) is waited for;
        // a connection string that cannot work halts until an operator has mended it.
        const auto *dbError = dynamic_cast<const DbError *>(&e);
        if (dbError && dbError->isConnectionLost())
            waitForDatabase(dbError->message());
        else
            ProcessingHalted = true;
    }
}

bool TsvcOVTrack::createTrackingTable()
{
    try {
        adoConn1.execute(adoConn1.dialect().createTrackingSql());
        return true;
    } catch (const DbError &e) {
        WriteLog(1, QStringLiteral("Could not create the Tracking table: ") + e.message());
        return false;
    }
}

void TsvcOVTrack::prepareContentTable()
{
    if (!StoreHM) {
        WriteLog(2, QStringLiteral("Store HM is off"));
        return;
    }
    WriteLog(1, QStringLiteral("Store HM is on"));
    if (TableExists(QStringLiteral("HM_CONTENT"))) {
        WriteLog(2, QStringLiteral("Content Table opened OK."));
        return;
    }
    WriteLog(2, QStringLiteral("Attempting to create Content Table"));
    if (!CreateContentTable())
        StoreHM = false;
}

void TsvcOVTrack::upgradeTrackingColumns()
{
    const QString tracking = QStringLiteral("Tracking");
    // A failed add is an error only while the column is still missing: another loader starting at
    // the same moment may have added it first.
    const auto added = [&](const QString &column, const QString &type, const QString &size) {
        return AddColumn(tracking, column, type, size) ||
               existsAfterFailedCreate([&] { return ColumnExists(tracking, column); });
    };
    if (!ColumnExists(tracking, QStringLiteral("RunNumber"))) {
        WriteLog(1, QStringLiteral("Updating Tracking Table, Adding RunNumber Column"));
        if (!added(QStringLiteral("RunNumber"), QStringLiteral("varchar"), QStringLiteral("240")))
            WriteLog(2, QStringLiteral("Error: RunNumber field could not be created in the Tracking Table."));
    }
    if (!ColumnExists(tracking, QStringLiteral("ReadStatus"))) {
        if (!added(QStringLiteral("ReadStatus"), QStringLiteral("int"), QString()))
            WriteLog(2,
                     QStringLiteral("Error: ReadStatus field could not be created in the Tracking Table."));
    }
    if (!ColumnExists(tracking, QStringLiteral("StatusTime"))) {
        WriteLog(1, QStringLiteral("Updating Tracking Table, Adding StatusTime Column"));
        if (!added(QStringLiteral("StatusTime"), QStringLiteral("DateTime"), QString()))
            WriteLog(2,
                     QStringLiteral("Error: StatusTime field could not be created in the Tracking Table."));
    }
}

// Lookups by message id and the viewer's filters and sorts must not scan a table of millions of
// rows. Each index is non-unique: several rows may share a message id.
void TsvcOVTrack::createSearchIndexes()
{
    static const char *const columns[] = {
        "MsgID", "Patient", "PracID", "LabId", "QZServerReceiveTime", "QZDeliveryTime", "StatusTime"};
    for (const char *column : columns) {
        const QString name = QStringLiteral("IX_Tracking_") + QLatin1String(column);
        try {
            const SqlDialect &dialect = adoConn1.dialect();
            DbStatement probe(adoConn1, dialect.indexExistsSql(name));
            if (probe.open().rowCount() > 0)
                continue;
            WriteLog(1, QStringLiteral("Creating index %1 on Tracking(%2)").arg(name, QLatin1String(column)));
            adoConn1.execute(dialect.createIndexSql(name, QStringLiteral("Tracking"), QLatin1String(column)));
        } catch (const std::exception &e) {
            // Another loader starting at the same moment may have created it first.
            const auto made = [&] {
                DbStatement probe(adoConn1, adoConn1.dialect().indexExistsSql(name));
                return probe.open().rowCount() > 0;
            };
            if (!existsAfterFailedCreate(made))
                WriteLog(2, QStringLiteral("Error: index %1 could not be created: %2").arg(name, errorText(e)));
        }
    }
}
