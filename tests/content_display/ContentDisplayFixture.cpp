#include "tests/content_display/ContentDisplayFixture.h"

#include "shared/tracking/DbStatement.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QThread>

bool RecordingLauncher::StartRenderer(const QString &program, const QStringList &arguments)
{
    m_log.renderer.append(QStringList{program} + arguments);
    return true;
}

bool RecordingLauncher::OpenWithDesktop(const QString &filePath)
{
    m_log.desktop.append(filePath);
    return true;
}

ContentDisplayFixture::ContentDisplayFixture()
    : m_db(m_root.makeFolder(QStringLiteral("app"))),
      m_importPath(m_root.makeFolder(QStringLiteral("import")))
{
    m_root.makeFolder(QStringLiteral("tmp"));
    m_root.makeFolder(QStringLiteral("user"));
    m_db.openCreating(sqliteConnectionString(m_root.filePath(QStringLiteral("tracking.db"))));
    m_db.execute(m_db.dialect().createContentSql());
}

MessageContentFolders ContentDisplayFixture::folders() const
{
    return {m_root.filePath(QStringLiteral("app/")), m_root.filePath(QStringLiteral("tmp/")),
            m_root.filePath(QStringLiteral("user/")), m_importPath};
}

MessageContentDisplay &ContentDisplayFixture::display(bool realLauncher)
{
    if (!m_display) {
        std::unique_ptr<ContentLauncher> launcher;
        if (!realLauncher)
            launcher = std::make_unique<RecordingLauncher>(m_launches);
        m_display =
            std::make_unique<MessageContentDisplay>(m_db, folders(), m_tempFiles, std::move(launcher));
    }
    return *m_display;
}

MessageContentOutcome ContentDisplayFixture::show(const MessageContentRow &row)
{
    return display().DisplayResult(row);
}

void ContentDisplayFixture::storeContent(const QString &messageId, const std::optional<QByteArray> &content)
{
    DbStatement insert(m_db,
                       QStringLiteral("insert into HM_CONTENT (MsgID, HMData) values (:QMsgId, :QData)"));
    insert.bind(QStringLiteral("QMsgId"), ParamType::Text, messageId);
    insert.bind(QStringLiteral("QData"), ParamType::LongText, content ? QVariant(*content) : QVariant());
    insert.execute();
}

QString ContentDisplayFixture::writeArchive(const QString &practiceFolder, const QString &archiveName,
                                            const ArchiveWriter &writer)
{
    const QString folder =
        m_root.makeFolder(QStringLiteral("user/mailboxes/") + practiceFolder + QStringLiteral("/holding"));
    writer.writeTo(folder + archiveName);
    return folder + archiveName;
}

QString ContentDisplayFixture::writeUndeliverable(const QString &name, const QByteArray &bytes,
                                                  const QString &folderName)
{
    return m_root.writeFile(QStringLiteral("user/") + folderName + u'/' + name, bytes);
}

QByteArray ContentDisplayFixture::readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArrayLiteral("(unreadable)");
    return file.readAll();
}

QStringList ContentDisplayFixture::entriesOf(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

MessageContentRow messageRow(const QString &messageId, const QString &fileName, const QString &practiceId,
                             DeliveryState state)
{
    return {messageId, fileName, practiceId, state};
}

QByteArray binaryContent()
{
    return QByteArray("MSH|^~\\&|LAB\r\nOBX|1|\xe9\xff\x80|") + QByteArray(1, '\0') +
           QByteArrayLiteral("end\r\n");
}
