#pragma once

#include "viewer/search/SearchSettingsStore.h"

#include "tests/support/TestDatabase.h"
#include "tests/support/TestFolder.h"
#include "tests/support/TrackingTestDatabase.h"

#include <QProcess>
#include <QSettings>

#include <memory>

#include <gtest/gtest.h>

// OVTrack run as its own process without a display, with the saved criteria in a private settings
// folder, on each backend.
class ViewerProcess : public BackendTest
{
protected:
    void SetUp() override
    {
        BackendTest::SetUp();
        if (IsSkipped())
            return;
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, config.path());
        database = std::make_unique<TrackingTestDatabase>(folder.path(), QStringLiteral("tracking.db"), true,
                                                          backend());
        TrackingTestDatabase &db = *database;
        db.insert({{"MsgID", "M1"},
                   {"Patient", "Smith"},
                   {"PatientGiven", "Ann"},
                   {"PracID", "P01"},
                   {"QZServerReceiveTime", TrackingTestDatabase::at(2024, 3, 1, 9)},
                   {"QZDeliveryTime", TrackingTestDatabase::at(2001, 1, 1)}});
        db.insert({{"MsgID", "M2"},
                   {"Patient", "Jones"},
                   {"PracID", "P01"},
                   {"QZServerReceiveTime", TrackingTestDatabase::at(2024, 3, 2, 9)}});
        db.insert({{"MsgID", "M3"},
                   {"Patient", "Smith, Bob"},
                   {"PracID", "P02"},
                   {"QZServerReceiveTime", TrackingTestDatabase::at(2024, 3, 3, 9)},
                   {"QZDeliveryTime", TrackingTestDatabase::at(1900, 1, 1)}});
    }

    void saveCriteria(const SavedSearch &saved) { SearchSettingsStore().save(saved); }

    int run(const QStringList &arguments)
    {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", config.path());
        env.remove("DISPLAY");
        env.remove("QT_QPA_PLATFORM");
        process.setProcessEnvironment(env);
        process.start(OVTRACK_PROGRAM, arguments);
        EXPECT_TRUE(process.waitForFinished(60000));
        errors = QString::fromLocal8Bit(process.readAllStandardError());
        return process.exitCode();
    }

    TestFolder folder;
    TestFolder config;
    std::unique_ptr<TrackingTestDatabase> database;
    QString errors;
};
