#include "tests/archive/ArchiveFixture.h"

#include <QFile>

QString ArchiveFixture::path(const QString &name) const
{
    return m_dir.filePath(name);
}

QString ArchiveFixture::write(const ArchiveWriter &writer, const QString &name) const
{
    return writeBytes(writer.build(), name);
}

QString ArchiveFixture::writeBytes(const QByteArray &bytes, const QString &name) const
{
    const QString target = path(name);
    QFile file(target);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
    return target;
}

QByteArray ArchiveFixture::readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray("(missing)");
    return file.readAll();
}

QString archiveErrorOf(const std::function<void()> &call)
{
    try {
        call();
    } catch (const EZLBArchiveError &error) {
        return error.Message();
    }
    return QStringLiteral("(no error)");
}

QByteArray sampleContent(qsizetype size, char seed)
{
    QByteArray content;
    content.reserve(size);
    for (qsizetype i = 0; content.size() < size; ++i)
        content.append(QByteArray::number(i * 7 + seed).append(seed).append(' '));
    content.truncate(size);
    return content;
}

ArchiveWriter goodAndBadCrc()
{
    ArchiveWriter writer;
    writer.addFile("good.txt", "good");
    ArchiveWriter::Entry bad;
    bad.FileName = "bad.txt";
    bad.content = "bad content";
    bad.FileCRC = 0x12345678;
    writer.add(bad);
    return writer;
}
