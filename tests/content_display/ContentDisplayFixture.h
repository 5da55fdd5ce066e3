#pragma once

#include "shared/tracking/DbConnection.h"
#include "tests/support/ArchiveWriter.h"
#include "tests/support/QStringPrinter.h"
#include "tests/support/TestFolder.h"
#include "tests/support/WaitUntil.h"
#include "viewer/content/ContentLauncher.h"
#include "viewer/content/MessageContentDisplay.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <ostream>

// What the recording launcher was asked to open.
struct LaunchLog
{
    QList<QStringList> renderer; // program followed by its arguments, one list per start
    QStringList desktop;
};

// Stands in for the renderer and the desktop, so that tests open nothing.
class RecordingLauncher : public ContentLauncher
{
public:
    explicit RecordingLauncher(LaunchLog &log) : m_log(log) {}
    bool StartRenderer(const QString &program, const QStringList &arguments) override;
    bool OpenWithDesktop(const QString &filePath) override;

private:
    LaunchLog &m_log;
};

// A viewer's folders (program, temporary, mailbox root, import) in a temporary folder, a SQLite
// database with HM_CONTENT and helpers to place content where the messaging server puts it.
class ContentDisplayFixture : public ::testing::Test
{
protected:
    ContentDisplayFixture();

    MessageContentFolders folders() const;
    // The display under test; with `realLauncher` it starts programs for real.
    MessageContentDisplay &display(bool realLauncher = false);
    MessageContentOutcome show(const MessageContentRow &row);

    // A row of HM_CONTENT; std::nullopt stores a null HMData.
    void storeContent(const QString &messageId, const std::optional<QByteArray> &content);
    // Writes an archive into the practice's holding folder; returns its path.
    QString writeArchive(const QString &practiceFolder, const QString &archiveName,
                         const ArchiveWriter &writer);
    // Writes a file into the undeliverable folder; returns its path.
    QString writeUndeliverable(const QString &name, const QByteArray &bytes,
                               const QString &folderName = QStringLiteral("undeliverable"));
    static QByteArray readFile(const QString &path);
    // Names of the files and folders directly in the folder.
    static QStringList entriesOf(const QString &folder);

    TestFolder m_root;
    DbConnection m_db;
    QStringList m_tempFiles;
    LaunchLog m_launches;
    QString m_importPath;
    std::unique_ptr<MessageContentDisplay> m_display;
};

// A row as the grid gives it.
MessageContentRow messageRow(const QString &messageId, const QString &fileName, const QString &practiceId,
                             DeliveryState state = DeliveryState::Delivered);

// Bytes no text conversion leaves alone: NUL, CR LF, bytes above 127 that are not UTF-8.
QByteArray binaryContent();

