#pragma once

#include "viewer/audit/AuditIdentity.h"

#include <QString>

#include <stdexcept>

class DbConnection;

// The audited actions, as they are written to OVTrack_Audit.
namespace AuditAction {
inline constexpr const char *DisplayResult = "Display Result";
inline constexpr const char *TagAsManaged = "Tag as Managed";
inline constexpr const char *ExportCsv = "Export CSV";
inline constexpr const char *PrintReport = "Print Report";
inline constexpr const char *ReportPdf = "Report PDF";
inline constexpr const char *SummaryPdf = "Summary PDF";
// The subject of the undelivered summary's rows: it covers every practice, not a search.
inline constexpr const char *UndeliveredSummary = "Undelivered Results";
} // namespace AuditAction

// The audit row could not be written: the action it guards must not go ahead.
class AuditRefused : public std::runtime_error
{
public:
    // what() tells the user that the action did not run, and why.
    explicit AuditRefused(const QString &reason);
};

// Writes one row of OVTrack_Audit per audited action, before the action runs. An audit that
// silently dropped records would be worse than none, so a failed write throws AuditRefused.
class AccessAudit
{
public:
    static constexpr const char *TableName = "OVTrack_Audit";

    AccessAudit(DbConnection &connection, AuditIdentity identity);

    // Creates the table and its time index where missing. Throws DbError.
    void ensureTable();
    // `subject` is the message id, or the criteria text of the search an export came from.
    void record(const char *action, const QString &subject);

    // For the commands without a window, each its own start-up: the table where missing, then the
    // row, as this process's user. Throws AuditRefused.
    static void recordAtStartup(DbConnection &connection, const char *action, const QString &subject);

private:
    DbConnection &m_connection;
    AuditIdentity m_identity;
};
