#pragma once

#include <QDate>

#include <optional>

class DbConnection;
class QIODevice;

// The days an audit export covers; either end may be open. `to` includes the whole of that day.
struct AuditPeriod
{
    std::optional<QDate> from;
    std::optional<QDate> to;
};

// Writes OVTrack_Audit as CSV, titles first, oldest row first. Returns the rows written; throws
// DbError or std::runtime_error.
qint64 writeAuditCsv(DbConnection &connection, const AuditPeriod &period, QIODevice &device);
