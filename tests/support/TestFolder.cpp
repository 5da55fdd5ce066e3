#include "tests/support/TestFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <stdexcept>

TestFolder::TestFolder()
{
    if (!m_dir.isValid())
        throw std::runtime_error("cannot create a temporary folder");
}

QString TestFolder::path() const
{
    return m_dir.path() + u'/';
}

QString TestFolder::filePath(const QString &name) const
{
    return path() + name;
}

QString TestFolder::writeFile(const QString &name, const QByteArray &bytes) const
{
    const QString file = filePath(name);
    QDir().mkpath(QFileInfo(file).path());
    QFile out(file);
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size())
        throw std::runtime_error(("cannot write " + file).toStdString());
    return file;
}

QByteArray TestFolder::readFile(const QString &name) const
{
    QFile in(filePath(name));
    if (!in.open(QIODevice::ReadOnly))
        throw std::runtime_error(("cannot read " + filePath(name)).toStdString());
    return in.readAll();
}

bool TestFolder::exists(const QString &name) const
{
    return QFileInfo::exists(filePath(name));
}

QString TestFolder::makeFolder(const QString &name) const
{
    QDir().mkpath(filePath(name));
    return filePath(name) + u'/';
}

QString sqliteConnectionString(const QString &databaseFile)
{
    return QStringLiteral("Provider=SQLite;Data Source=") + databaseFile;
}
