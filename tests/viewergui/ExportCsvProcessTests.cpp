#include "tests/viewergui/ViewerProcessFixture.h"

namespace {

using DB = TrackingTestDatabase;

using ExportProcess = ViewerProcess;

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
