#include "viewer/app/MaintenanceCommands.h"
#include "viewer/audit/AccessAudit.h"

#include "shared/tracking/DbConnection.h"

#include "tests/viewerapp/HeadlessCommandTest.h"

#include <QFile>
#include <QTextStream>

#include <gtest/gtest.h>

namespace {

// `--audit-csv` as the program runs it, on a database that holds one audit row of today.
class AuditCsvCommand : public HeadlessCommandTest
{
protected:
    void SetUp() override
    {
        HeadlessCommandTest::SetUp();
        if (IsSkipped())
            return;
        DbConnection connection(folder.path());
        connection.open(database->connectionString());
        AccessAudit::recordAtStartup(connection, AuditAction::DisplayResult, "M1");
    }

    int run(const QStringList &options)
    {
        output.clear();
        messages.clear();
        QTextStream out(&output);
        QTextStream errors(&messages);
        return runMaintenanceCommand(
            folder.path(),
            QStringList{"", "", database->connectionString(), "--audit-csv", folder.filePath("audit.csv")} +
                options,
            out, errors);
    }

    QString output;
};

// Mended fault: a period that ends before it starts wrote an empty file and reported success.
TEST_P(AuditCsvCommand, FromAfterToIsACommandLineFaultAndWritesNoFile)
{
    const QString today = QDate::currentDate().toString(Qt::ISODate);
    const QString yesterday = QDate::currentDate().addDays(-1).toString(Qt::ISODate);
    EXPECT_EQ(run({"--from", today, "--to", yesterday}), 3);
    EXPECT_EQ(messages, "--from " + today + " is after --to " + yesterday + ": the period has no day\n");
    EXPECT_TRUE(output.isEmpty());
    EXPECT_FALSE(QFile::exists(folder.filePath("audit.csv")));

    EXPECT_EQ(run({"--from", "March"}), 3);
    EXPECT_TRUE(messages.startsWith("--from needs a date")) << messages.toStdString();
    EXPECT_FALSE(QFile::exists(folder.filePath("audit.csv")));

    // One day, both ends the same, is a period.
    EXPECT_EQ(run({"--from", today, "--to", today}), 0) << messages.toStdString();
    EXPECT_EQ(output, "1 audit rows written to " + folder.filePath("audit.csv") + "\n");
}

OVTRACK_ON_EVERY_BACKEND(AuditCsvCommand);

} // namespace
