#include "viewer/content/MessageContentDisplay.h"

#include "shared/tracking/DbConnection.h"
#include "shared/text/TextCodec.h"
#include "viewer/content/ContentLauncherDesktop.h"
#include "viewer/content/WildcardMatch.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>

namespace {

const QString NotAvailable = QStringLiteral("Message contents not available.");
const QString ArchiveFailure = QStringLiteral("The compressed data file to open: ");
const QString RendererName = QStringLiteral("hmrender");

bool isSeparator(QChar c)
{
    return c == u'/' || c == u'\\';
}

// File names come from tracking files written on Windows: only the last component names a file,
// so that a name can never reach outside the folder it is put in.
QString lastPathComponent(const QString &name)
{
    qsizetype start = name.size();
    while (start > 0 && !isSeparator(name.at(start - 1)))
        --start;
    const QString last = name.mid(start);
    return last == u"." || last == u".." ? QString() : last;
}

bool isSingleName(const QString &name)
{
    return !name.isEmpty() && lastPathComponent(name) == name;
}

// The name of the folder's entry that is `name` apart from letter case, as it is on disk; an exact
// match wins. Empty when there is none.
QString entryIgnoringCase(const QString &folder, const QString &name)
{
    if (QFileInfo::exists(folder + name))
        return name;
    const QStringList names = QDir(folder).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
    const auto found = std::find_if(names.begin(), names.end(), [&name](const QString &entry) {
        return entry.compare(name, Qt::CaseInsensitive) == 0;
    });
    return found == names.end() ? QString() : *found;
}

// Follows the folder names below `folder` as the messaging server's case-blind file system would.
QString resolveFolder(QString folder, const QStringList &names)
{
    for (const QString &name : names) {
        const QString found = isSingleName(name) ? entryIgnoringCase(folder, name) : QString();
        if (found.isEmpty() || !QFileInfo(folder + found).isDir())
            return {};
        folder += found + u'/';
    }
    return folder;
}

// "ab12.hl7" gives "ab12???*.hl7": the server numbers the undeliverable copies of a file.
QString undeliverablePattern(const QString &fileName)
{
    const qsizetype dot = fileName.lastIndexOf(u'.');
    if (dot < 0)
        return fileName + QStringLiteral("???*");
    return fileName.left(dot) + QStringLiteral("???*") + fileName.mid(dot);
}

bool writeWholeFile(const QString &path, const QByteArray &bytes)
{
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit();
}

} // namespace

MessageContentDisplay::MessageContentDisplay(DbConnection &connection, MessageContentFolders folders,
                                             QStringList &TempFiles,
                                             std::unique_ptr<ContentLauncher> launcher)
    : m_connection(connection), m_folders(std::move(folders)), m_tempFiles(TempFiles),
      m_launcher(launcher ? std::move(launcher) : std::make_unique<ContentLauncherDesktop>()),
      m_tempFolder(m_folders.TempPath), m_HMDataQuery(connection)
{
    // The reader reports the entry's name as stored; the row's name may differ in letter case.
    m_archive.SetOnFileExtracted([this](const QString &filename) { m_extractedName = filename; });
}

MessageContentDisplay::~MessageContentDisplay() = default;

QString MessageContentDisplay::PrivateFolder()
{
    return m_tempFolder.Path();
}

MessageContentOutcome MessageContentDisplay::DisplayResult(const MessageContentRow &row)
{
    QString contentPath;
    if (!row.messageId.isEmpty())
        contentPath = writeStoredContent(row);

    if (contentPath.isEmpty()) {
        const bool undeliverable = row.deliveryState == DeliveryState::Undeliverable;
        const QString name = lastPathComponent(row.fileName);
        const QString folder = undeliverable ? undeliverableFolder() : holdingFolder(row.practiceId);
        // Without a file name the undeliverable pattern would match any message's file.
        const bool searchable = !folder.isEmpty() && (!undeliverable || !name.isEmpty());
        const QString pattern =
            undeliverable ? undeliverablePattern(name) : row.messageId + QStringLiteral(".*");
        const QStringList matches = searchable ? FindMatchingEntries(folder, pattern) : QStringList();
        if (matches.isEmpty())
            return {{}, notAvailableText(row)};
        if (undeliverable) {
            contentPath = folder + matches.first(); // opened where it lies
        } else {
            const MessageContentOutcome extracted =
                extractFromArchive(folder + matches.first(), row.fileName);
            if (!extracted.Message.isEmpty())
                return extracted;
            contentPath = extracted.ContentPath;
        }
    }

    if (contentPath.isEmpty() || !QFileInfo(contentPath).isFile())
        return {{}, NotAvailable};
    return {contentPath, launch(contentPath)};
}

QString MessageContentDisplay::writeStoredContent(const MessageContentRow &row)
{
    // Whatever goes wrong here, the folders are searched instead, without a word to the user.
    try {
        // A message stored more than once (a redelivered file) shows its newest copy.
        if (const QString text = m_connection.dialect().newestContentSql(); text != m_HMDataQuery.text())
            m_HMDataQuery.setText(text);
        m_HMDataQuery.bind(QStringLiteral("QMsgId"), ParamType::Text, row.messageId);
        const DbResult result = m_HMDataQuery.open();
        if (result.isEmpty() || result.isNull(0, QStringLiteral("HMData")))
            return {};
        const QString name = lastPathComponent(row.fileName);
        const QString folder = m_tempFolder.Path();
        if (name.isEmpty() || folder.isEmpty())
            return {};
        const QByteArray bytes = m_connection.dialect().longTextValue(result.value(0, QStringLiteral("HMData")));
        // One file per name whatever its letter case, as the extraction keeps it.
        const QString existing = entryIgnoringCase(folder, name);
        const QString path = folder + (existing.isEmpty() ? name : existing);
        if (!writeWholeFile(path, bytes))
            return {};
        remember(path);
        return path;
    } catch (const std::exception &) {
        return {};
    }
}

QString MessageContentDisplay::holdingFolder(const QString &practiceId) const
{
    return resolveFolder(m_folders.UserPath,
                         {QStringLiteral("mailboxes"), practiceId, QStringLiteral("holding")});
}

QString MessageContentDisplay::undeliverableFolder() const
{
    return resolveFolder(m_folders.UserPath, {QStringLiteral("undeliverable")});
}

MessageContentOutcome MessageContentDisplay::extractFromArchive(const QString &archivePath,
                                                                const QString &fileName)
{
    const QString folder = m_tempFolder.Path();
    if (folder.isEmpty())
        return {{}, ArchiveFailure + QStringLiteral("Unable to create destination path")};
    m_extractedName.clear();
    QString failure;
    try {
        m_archive.OpenArchive(archivePath);
        m_archive.ExtractFile(folder, fileName);
    } catch (const EZLBArchiveError &error) {
        failure = error.Message();
    } catch (const std::exception &error) {
        failure = QString::fromUtf8(error.what());
    }
    m_archive.CloseArchive();
    if (!failure.isEmpty())
        return {{}, ArchiveFailure + failure};

    // The file carries the entry's stored name, or the letter case of a file that was there before.
    const QString stored = m_extractedName.mid(folder.size());
    const QString onDisk = isSingleName(stored) ? entryIgnoringCase(folder, stored) : QString();
    if (onDisk.isEmpty())
        return {};
    const QString path = folder + onDisk;
    remember(path);
    return {path, {}};
}

QString MessageContentDisplay::launch(const QString &contentPath)
{
    // A start that fails is said, naming the file: otherwise the user waits for a window that never comes.
    const QString absolute = QFileInfo(contentPath).absoluteFilePath();
    const QString renderer = m_folders.AppPath + RendererName;
    if (QFileInfo(renderer).isFile()) {
        if (!m_launcher->StartRenderer(renderer,
                                       {absolute, QStringLiteral("Quazor Outbound:") + m_folders.ImportPath}))
            return QStringLiteral("The renderer %1 could not be started to open %2.").arg(renderer, absolute);
        return {};
    }
    return m_launcher->OpenWithDesktop(absolute) ? QString() : noProgramOpenedText(absolute);
}

void MessageContentDisplay::remember(const QString &path)
{
    if (!m_tempFiles.contains(path))
        m_tempFiles.append(path);
}

QString MessageContentDisplay::notAvailableText(const MessageContentRow &row) const
{
    // The same words for both folders.
    return QStringLiteral("Message contents for ") + m_folders.UserPath + QStringLiteral("mailboxes/") +
           row.practiceId + QStringLiteral("/holding/") + row.messageId + QStringLiteral(" not available.");
}

void MessageContentDisplay::DeleteTempFiles()
{
    QStringList kept;
    for (const QString &file : std::as_const(m_tempFiles)) {
        if (!QFile::remove(file) && QFileInfo::exists(file))
            kept.append(file);
    }
    m_tempFiles = kept;
    m_tempFolder.Remove();
}
