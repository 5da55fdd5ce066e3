#include "viewer/SearchSettingsStore.h"

#include "tests/support/TestFolder.h"
#include "tests/viewer/TrackingTestDatabase.h"

#include <QProcess>
#include <QSettings>

#include <gtest/gtest.h>

namespace {

using DB = TrackingTestDatabase;

// OVTrack --export-csv run as its own process, with the saved criteria in a private settings folder.
class ExportProcess : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, config.path());
        db.insert({{"MsgID", "M1"},
                   {"Patient", "Smith"},
                   {"PatientGiven", "Ann"},
                   {"PracID", "P01"},
                   {"QZServerReceiveTime", DB::at(2024, 3, 1, 9)},
                   {"QZDeliveryTime", DB::at(2001, 1, 1)}});
        db.insert({{"MsgID", "M2"},
                   {"Patient", "Jones"},
                   {"PracID", "P01"},
                   {"QZServerReceiveTime", DB::at(2024, 3, 2, 9)}});
        db.insert({{"MsgID", "M3"},
                   {"Patient", "Smith, Bob"},
                   {"PracID", "P02"},
                   {"QZServerReceiveTime", DB::at(2024, 3, 3, 9)},
                   {"QZDeliveryTime", DB::at(1900, 1, 1)}});
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
    DB db{folder.path()};
    QString errors;
};

TEST_F(ExportProcess, WritesTheRowsOfTheSavedSearch)
{
    SavedSearch saved;
    saved.nameFilter = "smith";
    saved.nameFilterEnabled = true;
    saved.sortOrder = "MsgID desc";
    saveCriteria(saved);
    const QString out = folder.filePath("out.csv");
    EXPECT_EQ(run({"", "", db.connectionString(), "--export-csv", out}), 0) << errors.toStdString();
    EXPECT_EQ(QString::fromUtf8(folder.readFile("out.csv")),
              "Status,Prac. ID,Filename,Patient Name,DOB,Lab Ref,Test Names,Request Date,Addressee,Requestor,"
              "File Type,Server Recv. Time,Delivery Time,Run Number\r\n"
              "Undeliverable,P02,,\"Smith, Bob\",,,,,,,,03/03/2024 09:00:00,01/01/1900,\r\n"
              "Emailed ,P01,,Smith Ann,,,,,,,,01/03/2024 09:00:00,01/03/2024 09:00:00,\r\n");
}

TEST_F(ExportProcess, NoSavedCriteriaIsAnErrorAndWritesNothing)
{
    const QString out = folder.filePath("out.csv");
    EXPECT_EQ(run({"", "", db.connectionString(), "--export-csv", out}), 1);
    EXPECT_TRUE(errors.contains("No criteria Selected")) << errors.toStdString();
    EXPECT_FALSE(folder.exists("out.csv"));
}

TEST_F(ExportProcess, DatabaseErrorGoesToStandardError)
{
    SavedSearch saved;
    saved.mailBoxFilterEnabled = true;
    saved.sortOrder = "NoSuchColumn";
    saveCriteria(saved);
    EXPECT_EQ(run({"", "", db.connectionString(), "--export-csv", folder.filePath("out.csv")}), 1);
    EXPECT_TRUE(errors.contains("Set Active failed with")) << errors.toStdString();
    EXPECT_TRUE(errors.contains("NoSuchColumn")) << errors.toStdString();
    EXPECT_FALSE(folder.exists("out.csv"));
}

} // namespace
