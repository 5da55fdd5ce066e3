#pragma once

#include "shared/tracking/DbStatement.h"
#include "shared/tracking/TrackingSchema.h"
#include "viewer/content/ContentLauncher.h"
#include "viewer/content/MessageContentTempFolder.h"
#include "viewer/archive/ZLIBArchive.h"

#include <QString>
#include <QStringList>

#include <memory>

class DbConnection;

// The values of the result grid's current row that the content display needs; a null column
// gives an empty text.
struct MessageContentRow
{
    QString messageId;  // MsgID
    QString fileName;   // Filename
    QString practiceId; // PracID
    DeliveryState deliveryState = DeliveryState::Waiting;
};

// The main window's folders, each ending with "/" (UserPath and ImportPath may be empty).
struct MessageContentFolders
{
    QString AppPath;
    QString TempPath;
    QString UserPath;
    QString ImportPath;
};

// What one "&Display Result" came to.
struct MessageContentOutcome
{
    QString ContentPath; // the file handed to the renderer or the desktop; empty when none was
    QString Message;     // the text to show in a message box; empty when there is nothing to say (a
                         // file handed over that no program could open has both)
};

// The work of "&Display Result": finds a message's content in HM_CONTENT, in the practice's
// mailbox holding archive or in the undeliverable folder, makes sure it exists as a file and hands
// it to the renderer or the desktop. Files it writes live in the run's private folder and are
// listed on TempFiles. The window shows the returned message; nothing here opens a dialog.
class MessageContentDisplay
{
public:
    // `TempFiles` is the window's list of files to delete at close; it must outlive this object.
    MessageContentDisplay(DbConnection &connection, MessageContentFolders folders, QStringList &TempFiles,
                          std::unique_ptr<ContentLauncher> launcher = {});
    ~MessageContentDisplay();
    MessageContentDisplay(const MessageContentDisplay &) = delete;
    MessageContentDisplay &operator=(const MessageContentDisplay &) = delete;

    MessageContentOutcome DisplayResult(const MessageContentRow &row);

    // At close: deletes the files on TempFiles (one that cannot be deleted stays on the list) and
    // the private folder with whatever else it holds.
    void DeleteTempFiles();

    // The run's private folder ("/" at the end); empty when it could not be made.
    QString PrivateFolder();

private:
    QString writeStoredContent(const MessageContentRow &row);
    QString holdingFolder(const QString &practiceId) const;
    QString undeliverableFolder() const;
    MessageContentOutcome extractFromArchive(const QString &archivePath, const QString &fileName);
    // Hands the file over; the message to show when no program could be started for it.
    QString launch(const QString &contentPath);
    void remember(const QString &path);
    QString notAvailableText(const MessageContentRow &row) const;

    DbConnection &m_connection;
    MessageContentFolders m_folders;
    QStringList &m_tempFiles;
    std::unique_ptr<ContentLauncher> m_launcher;
    MessageContentTempFolder m_tempFolder;
    DbStatement m_HMDataQuery;
    TZLBArchive m_archive;
    QString m_extractedName;
};
