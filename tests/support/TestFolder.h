#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

// A temporary folder for one test, removed with everything in it when the test ends.
class TestFolder
{
public:
    TestFolder();

    // The folder's path, ending with "/".
    QString path() const;
    QString filePath(const QString &name) const;

    // Writes the bytes to a file in the folder (sub-folders are created); returns its path.
    QString writeFile(const QString &name, const QByteArray &bytes) const;
    QByteArray readFile(const QString &name) const;
    bool exists(const QString &name) const;
    QString makeFolder(const QString &name) const;

private:
    QTemporaryDir m_dir;
};

// "Provider=SQLite;Data Source=<file>".
QString sqliteConnectionString(const QString &databaseFile);
