#pragma once

class DbConnection;
class QTextStream;
struct ViewerRunValues;

// Opens the run values' connection for a command without a window; false after writing why
// ("No database connection defined." or the connection's message) to `errors`.
bool openHeadlessConnection(DbConnection &connection, const ViewerRunValues &values, QTextStream &errors);
