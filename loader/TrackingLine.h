#pragma once

#include "loader/TrackingRecord.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <optional>

// One line of a tracking file: comma-separated fields without quoting; the message id is always the
// last field, the others have fixed positions.
class TrackingLine
{
public:
    explicit TrackingLine(const QString &text);

    int fieldCount() const { return static_cast<int>(m_fields.size()); }
    // Field k, counted from 1; empty beyond the last.
    QString field(int k) const;
    QString messageId() const { return m_fields.constLast(); }
    // A header line starts with "sender,".
    bool isHeader() const;
    // Header lines and lines without a comma (empty ones included) are dropped without a word.
    bool isSkipped() const { return isHeader() || fieldCount() == 1; }

private:
    QString m_text;
    QStringList m_fields;
};

// What the import decides for a line from the line and the stored row of its message, before it
// writes anything: the values of a receipt or notification, and whether the line is one.
struct TrackingLineDecision
{
    TrackingRecord record; // MsgID, Sender, PracID, Filename, RunNumber and QZDeliveryTime so far
    int statusCode = 0;
    std::optional<QDateTime> statusTime;
    bool isNotification = false;
};

// `existingStatus` is what GetExistingRow answered: -1 without a row, else the row's ReadStatus or 0.
TrackingLineDecision decideTrackingLine(const TrackingLine &line, const ExistingTrackingRow &existing,
                                        int existingStatus, const QString &shortDateFormat,
                                        const QDateTime &now);

// The rest of a full line's record: receive time, file type, lab, patient, doctors, tests, times and
// run number.
void completeTrackingRecord(TrackingRecord &record, const TrackingLine &line,
                            const ExistingTrackingRow &existing, const QString &shortDateFormat);
