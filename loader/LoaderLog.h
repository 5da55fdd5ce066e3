#pragma once

#include <QDateTime>
#include <QFile>
#include <QString>

// The loader's text log: one file, only ever appended to, lines of timestamp, level and text ended
// with CR LF in UTF-8. Lines are buffered until the file is reopened or closed.
class LoaderLog
{
public:
    explicit LoaderLog(QString fileName);
    ~LoaderLog();
    LoaderLog(const LoaderLog &) = delete;
    LoaderLog &operator=(const LoaderLog &) = delete;

    // Opens for appending, creating the file when missing; false when that fails.
    bool open();
    // Writes out what is buffered by closing and opening again; throws std::runtime_error when the
    // file cannot be opened again.
    void reopen();
    // Never fails: an error while closing is of no use to anyone.
    void close() noexcept;
    bool isOpen() const { return m_file.isOpen(); }
    const QString &fileName() const { return m_fileName; }
    // Why the last open failed.
    QString errorString() const { return m_file.errorString(); }

    // Throws std::runtime_error when the line cannot be written (a full disk, for example).
    void writeLine(int level, const QString &text, const QDateTime &when = QDateTime::currentDateTime());

    // "yyyy-mm-dd hh:nn:ss:zzz>(level): text" and CR LF.
    static QString formatLine(const QDateTime &when, int level, const QString &text);

private:
    QString m_fileName;
    QFile m_file;
};
