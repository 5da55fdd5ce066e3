#pragma once

#include "viewer/audit/AuditIdentity.h"

#include <QString>

#include <functional>
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
// A search whose rows the window shows.
inline constexpr const char *Search = "Search";
// The subject of the undelivered summary's rows: it covers every practice, not a search.
inline constexpr const char *UndeliveredSummary = "Undelivered Results";
} // namespace AuditAction

// The outcome of an action on rows, as an audit row says it: "3 rows written".
QString rowsOutcome(qint64 rows, const char *done);

// The audit row could not be written: the action it guards must not go ahead.
class AuditRefused : public std::runtime_error
{
public:
    // what() tells the user that the action did not run, and why.
    explicit AuditRefused(const QString &reason);
};

// Writes one row of OVTrack_Audit per audited action. An audit that silently dropped records would
// be worse than none, so a failed write throws AuditRefused and the action does not take effect.
// Displays and reports write their row before they show anything; tagging, exports and searches
// write theirs after the work, with its outcome (carryOut), so a failed one says that it failed.
class AccessAudit
{
public:
    static constexpr const char *TableName = "OVTrack_Audit";
    static constexpr int OutcomeWidth = 240;

    enum class Table
    {
        Ready,               // the window's start-up has seen to it
        EnsureBeforeFirstRow // a command without a window: created or upgraded before its first row
    };

    AccessAudit(DbConnection &connection, AuditIdentity identity, Table table = Table::Ready);

    // Creates the table and its time index where missing, and adds the Outcome column to a table
    // from before it. Throws DbError.
    void ensureTable();
    // `subject` is the message id, or the criteria text of the search. An empty outcome is NULL.
    void record(const char *action, const QString &subject, const QString &outcome = {});

    // An audited action in two steps, and one row after them with the outcome that `act` returns
    // ("2 rows changed"). `act` runs inside the transaction of the row when `actWritesDatabase`,
    // so that a refused row undoes its writes; otherwise before it (a read that must not be cut
    // short by a transaction step). `finish` makes final, once the row is written, what `act`
    // prepared outside the database (commits a file). When a step fails, the row says "failed: "
    // and why, and the step's own error goes on.
    struct Work
    {
        std::function<QString()> act;
        std::function<void()> finish = {};
        bool actWritesDatabase = false;
    };
    void carryOut(const char *action, const QString &subject, const Work &work);

    // For the commands without a window: the table where missing, then the row, as this process's
    // user. Throws AuditRefused.
    static void recordAtStartup(DbConnection &connection, const char *action, const QString &subject);

private:
    void insertRow(const char *action, const QString &subject, const QString &outcome);
    // Rolls back what the failed step began, writes the failure's row and rethrows the failure.
    [[noreturn]] void recordFailure(const char *action, const QString &subject, const std::exception &error);

    DbConnection &m_connection;
    AuditIdentity m_identity;
    bool m_tableChecked;
};
