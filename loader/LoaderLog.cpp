#include "loader/LoaderLog.h"

#include <stdexcept>

LoaderLog::LoaderLog(QString fileName) : m_fileName(std::move(fileName)), m_file(m_fileName) {}

LoaderLog::~LoaderLog()
{
    close();
}

bool LoaderLog::open()
{
    if (m_file.isOpen())
        return true;
    return m_file.open(QIODevice::WriteOnly | QIODevice::Append);
}

void LoaderLog::reopen()
{
    close();
    if (!open())
        throw std::runtime_error(QStringLiteral("Cannot open the log file %1: %2")
                                     .arg(m_fileName, m_file.errorString())
                                     .toStdString());
}

void LoaderLog::close() noexcept
{
    if (m_file.isOpen())
        m_file.close();
}

void LoaderLog::writeLine(int level, const QString &text, const QDateTime &when)
{
    if (!m_file.isOpen())
        return;
    const QByteArray bytes = formatLine(when, level, text).toUtf8();
    if (m_file.write(bytes) != bytes.size())
        throw std::runtime_error(QStringLiteral("Cannot write to the log file %1: %2")
                                     .arg(m_fileName, m_file.errorString())
                                     .toStdString());
}

QString LoaderLog::formatLine(const QDateTime &when, int level, const QString &text)
{
    return when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss:zzz>")) + u'(' + QString::number(level) +
           QStringLiteral("): ") + text + QStringLiteral("\r\n");
}
