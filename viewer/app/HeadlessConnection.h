#pragma once

class DbConnection;
class QTextStream;
struct ViewerRunValues;

// Opens the run values' connection for a command without a window; false after writing why
// ("No database connection defined." or the connection's message) to `errors`. Only Create blank
// passes `mayCreate`: it may make a missing embedded database file.
bool openHeadlessConnection(DbConnection &connection, const ViewerRunValues &values, QTextStream &errors,
                            bool mayCreate = false);
