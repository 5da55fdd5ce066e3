#pragma once

#include "tests/support/ArchiveWriter.h"
#include "tests/support/QStringPrinter.h"
#include "viewer/archive/ZLIBArchive.h"

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <ostream>

// A temporary folder with an archive reader and helpers to write archives and read results.
class ArchiveFixture : public ::testing::Test
{
protected:
    QString path(const QString &name) const;
    // Writes the archive as archive.zlb in the folder and returns its path.
    QString write(const ArchiveWriter &writer, const QString &name = QStringLiteral("archive.zlb")) const;
    QString writeBytes(const QByteArray &bytes, const QString &name = QStringLiteral("archive.zlb")) const;
    static QByteArray readFile(const QString &path);

    QTemporaryDir m_dir;
    TZLBArchive m_archive;
};

// The message of the archive error the call raises, or "(no error)".
QString archiveErrorOf(const std::function<void()> &call);

// good.txt, sound, and bad.txt ("bad content"), whose recorded CRC is wrong.
ArchiveWriter goodAndBadCrc();

// Text of a varied but compressible content of the given size.
QByteArray sampleContent(qsizetype size, char seed = 'a');

