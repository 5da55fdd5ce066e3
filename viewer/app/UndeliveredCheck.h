#pragma once

#include <QString>

class DbConnection;

// The monitoring check on undelivered messages, as the monitoring plugin conventions have it: exit
// status 0 OK, 1 WARNING, 2 CRITICAL, 3 UNKNOWN and one status line with performance data. It
// counts received messages that are undeliverable and not yet managed (staff must act on them), and
// those the undelivered summary counts: messages that wait or failed decryption.
enum class CheckState
{
    Ok = 0,
    Warning = 1,
    Critical = 2,
    Unknown = 3
};

struct UndeliveredCheckOptions
{
    qint64 warning = 5;      // -w: more messages than this over the age is a warning
    qint64 critical = 20;    // -c: more than this is critical
    int ageDays = 2;         // --age: a message counts once it is older than this many days
    int criticalAgeDays = 7; // --critical-age: the oldest message older than this is critical
};

struct UndeliveredFigures
{
    // Messages older than the age: undeliverable (not managed), and waiting or decrypt-failed.
    qint64 undeliverable = 0;
    qint64 waiting = 0;
    int oldestDays = 0; // age of the oldest message of either kind, 0 when none

    qint64 undelivered() const { return undeliverable + waiting; }
};

struct CheckOutcome
{
    CheckState state;
    QString line;
};

// Reads the figures; throws DbError.
UndeliveredFigures countUndelivered(DbConnection &connection, int ageDays);
CheckOutcome judgeUndelivered(const UndeliveredFigures &figures, const UndeliveredCheckOptions &options);
CheckOutcome unknownOutcome(const QString &reason);
// Connects with `connectionString` and judges; every failure on the way is UNKNOWN.
CheckOutcome checkUndelivered(const QString &appPath, const QString &connectionString,
                              const UndeliveredCheckOptions &options);
