#pragma once

#include <QString>

// A loader program folder that runs on the embedded database: settings.txt naming the tracking
// folder with the content store on and a day-first date format, qztrack.udl for
// "Provider=SQLite;Data Source=tracking.db", and that database holding an empty Tracking (the
// loader expects the table; it creates HM_CONTENT itself).
namespace ProgramFolder {

inline constexpr const char *DatabaseName = "tracking.db";

QString sqliteInitString();
// Throws std::runtime_error or DbError naming what failed. An existing database keeps its rows.
// `initString` names the database; the embedded one beside the programs by default.
void prepare(const QString &programFolder, const QString &trackingFolder, const QString &initString = {});

} // namespace ProgramFolder
