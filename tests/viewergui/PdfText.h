#pragma once

#include <QProcess>
#include <QString>

// The text of a PDF as `pdftotext -layout` reads it back; empty when it cannot.
inline QString pdfText(const QString &path)
{
    QProcess process;
    process.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), path, QStringLiteral("-")});
    if (!process.waitForFinished(30000) || process.exitCode() != 0)
        return {};
    return QString::fromUtf8(process.readAllStandardOutput());
}
