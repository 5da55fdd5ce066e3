#include "tests/viewergui/ViewerProcessFixture.h"

namespace {

using DB = TrackingTestDatabase;

using ExportProcess = ViewerProcess;

TEST_P(ExportProcess, WritesTheRowsOfTheSavedSearch)
{
    SavedSearch saved;
    saved.nameFilter = "smith";
    saved.nameFilterEnabled = true;
    saved.sortOrder = "Patient Desc,PatientGiven Desc,PatientDob Desc,QZServerReceiveTime,Test";
    saveCriteria(saved);
    const QString out = folder.filePath("out.csv");
    EXPECT_EQ(run({"", "", database->connectionString(), "--export-csv", out}), 0) << errors.toStdString();
    EXPECT_EQ(QString::fromUtf8(folder.readFile("out.csv")),
              "Status,Prac. ID,Filename,Patient Name,DOB,Lab Ref,Test Names,Request Date,Addressee,Requestor,"
              "File Type,Server Recv. Time,Delivery Time,Run Number\r\n"
              "Undeliverable,P02,,\"Smith, Bob\",,,,,,,,03/03/2024 09:00:00,01/01/1900,\r\n"
              "Emailed ,P01,,Smith Ann,,,,,,,,01/03/2024 09:00:00,01/03/2024 09:00:00,\r\n");
}

TEST_P(ExportProcess, NoSavedCriteriaIsAnErrorAndWritesNothing)
{
    const QString out = folder.filePath("out.csv");
    EXPECT_EQ(run({"", "", database->connectionString(), "--export-csv", out}), 1);
    EXPECT_TRUE(errors.contains("No criteria Selected")) << errors.toStdString();
    EXPECT_FALSE(folder.exists("out.csv"));
}

TEST_P(ExportProcess, DatabaseErrorGoesToStandardError)
{
    SavedSearch saved;
    saved.mailBoxFilterEnabled = true;
    saveCriteria(saved);
    database->connection().execute("ALTER TABLE Tracking RENAME COLUMN PracID TO PracCode");
    EXPECT_EQ(run({"", "", database->connectionString(), "--export-csv", folder.filePath("out.csv")}), 1);
    EXPECT_TRUE(errors.contains("Set Active failed with")) << errors.toStdString();
    EXPECT_TRUE(errors.contains("pracid", Qt::CaseInsensitive)) << errors.toStdString();
    EXPECT_FALSE(folder.exists("out.csv"));
}

OVTRACK_ON_EVERY_BACKEND(ExportProcess);

} // namespace
