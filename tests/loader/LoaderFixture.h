#pragma once

#include "loader/OVTrackSvcForm.h"

#include "tests/support/TestDatabase.h"
#include "tests/support/TestFolder.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <vector>

// A loader in a temporary program folder with its own machine-wide settings file, a database of
// its own (a SQLite file beside it unless a test runs on another backend) and a tracking folder.
// The loader's pauses are recorded, not slept.
class LoaderFixture : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;
    virtual Backend backend() const { return Backend::Sqlite; }

    // A fresh loader (the previous one is destroyed first, closing its log).
    TsvcOVTrack &makeLoader(const QStringList &startParameters = {QStringLiteral("svcOVTrack")});
    TsvcOVTrack &loader() { return *m_loader; }

    QString connectionString() const { return m_database->connectionString(); }
    QString trackingDir() const { return m_folder.path() + QStringLiteral("tracking/"); }
    const TestFolder &folder() const { return m_folder; }

    // The level the machine-wide settings give the loader; nothing written means no value.
    void setRegistryLevel(const QVariant &value);

    // Connects the loader, creates Tracking as the viewer would and opens the log at `level`.
    void connectWithTracking(int level = 15);
    // Runs a statement on a second connection of the test's own.
    void sql(const QString &statement);
    DbResult query(const QString &statement);

    // Closes the log and returns its text.
    QString logText();
    QStringList logLines(); // without their timestamps

    // A tracking file written some seconds ago, so that it counts as settled.
    QString writeTrackingFile(const QString &name, const QByteArray &bytes, int secondsAgo = 10);
    QString writeTrackingLines(const QString &name, const QStringList &lines, int secondsAgo = 10);
    bool trackingFileExists(const QString &name) const;
    QByteArray errorsCopy(const QString &name) const;

    std::vector<int> m_sleeps;

private:
    TestFolder m_folder;
    std::unique_ptr<TestDatabase> m_database;
    std::unique_ptr<DbConnection> m_testConnection;
    std::unique_ptr<TsvcOVTrack> m_loader;
};

// The loader fixture once per backend, for the tests that touch the database.
class LoaderBackendFixture : public LoaderFixture, public ::testing::WithParamInterface<Backend>
{
protected:
    void SetUp() override;
    Backend backend() const override { return GetParam(); }
};

// The loader on each backend, connected to a database that has the Tracking table.
class LoaderTrackingFixture : public LoaderBackendFixture
{
protected:
    void SetUp() override
    {
        LoaderBackendFixture::SetUp();
        if (!IsSkipped())
            connectWithTracking(15);
    }
};

// The header line a tracking file starts with.
inline const QString TrackingHeader =
    QStringLiteral("Sender,Filename,ReceiveTime,DeliveryTime,FileType,LabId,RequestDate,Addressee,"
                   "Requesting,Patient,Address,DOB,DocsPTRef,Test,Collect,Report,Run,Prac,Status,MsgId");

// A tracking line of 20 fields with the usual values; `fields` overrides by 1-based position.
QString trackingLine(const QString &msgId, const std::vector<std::pair<int, QString>> &fields = {},
                     int fieldCount = 20);
