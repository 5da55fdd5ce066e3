#pragma once

#include <QByteArray>
#include <QString>

#include <stdexcept>

// qztrack.udl: an OLE DB data-link file. UTF-16LE with a byte-order mark as written here; UTF-8 (with
// or without its mark) is read too. The third line is the connection (init) string.

inline constexpr const char *DataLinkFileName = "qztrack.udl";

// The connection string of the file the viewer offers to create; the operator fills in the server.
inline constexpr const char *DefaultViewerInitString =
    "Provider=SQLOLEDB.1;Integrated Security=SSPI;Persist Security Info=False;"
    "Initial Catalog=QZ2Tracking;Data Source=XXXXX;";

class DataLinkError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

QByteArray dataLinkFileBytes(const QString &initString);
// Throws DataLinkError when the file cannot be written.
void writeDataLinkFile(const QString &path, const QString &initString);

// The init string of a data-link file. Throws DataLinkError, naming the file, when it cannot be
// read, is neither UTF-16 with its byte-order mark nor UTF-8, or has no third line.
QString readDataLinkFile(const QString &path);
// The same for bytes already read; `name` is used in messages.
QString parseDataLinkBytes(const QByteArray &bytes, const QString &name);
