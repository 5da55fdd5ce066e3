#include "loader/TrackingLine.h"

#include "loader/TrackingDates.h"

#include "shared/tracking/TrackingSchema.h"

namespace {

std::optional<QString> nonEmptyOr(const QString &value, const std::optional<QString> &fallback)
{
    return value.isEmpty() ? fallback : std::optional<QString>(value);
}

// Doctors' names: the first "#" becomes two spaces.
QString doctorName(QString text)
{
    const qsizetype hash = text.indexOf(u'#');
    if (hash >= 0)
        text.replace(hash, 1, QStringLiteral("  "));
    return text.left(80);
}

DateField timeText(const QString &text, const QString &shortDateFormat)
{
    if (text.isEmpty())
        return {};
    return ParseTrackingDate(text.left(50), shortDateFormat);
}

} // namespace

TrackingLine::TrackingLine(const QString &text) : m_text(text), m_fields(text.split(u',')) {}

QString TrackingLine::field(int k) const
{
    return m_fields.value(k - 1);
}

bool TrackingLine::isHeader() const
{
    return m_text.left(7).toLower() == QLatin1String("sender,");
}

TrackingLineDecision decideTrackingLine(const TrackingLine &line, const ExistingTrackingRow &existing,
                                        int existingStatus, const QString &shortDateFormat,
                                        const QDateTime &now)
{
    TrackingLineDecision d;
    TrackingRecord &r = d.record;
    const int n = line.fieldCount();
    r.MsgID = line.messageId();

    r.Sender = nonEmptyOr(line.field(1), existing.Sender);
    if (existing.Sender && r.Sender && !r.Sender->contains(u'@') && existing.Sender->contains(u'@'))
        r.Sender = existing.Sender;

    if (n >= 19)
        r.PracID = line.field(18);
    else if (existing.PracID && !existing.PracID->isEmpty())
        r.PracID = existing.PracID;
    else if (const QString file = line.field(2); file.contains(u'_'))
        r.PracID = file.left(file.indexOf(u'_'));
    if (r.PracID && r.Sender && !r.PracID->contains(u'@') && !r.Sender->isEmpty()) {
        const qsizetype at = r.Sender->indexOf(u'@');
        r.PracID = *r.PracID + u'@' + (at < 0 ? QString() : r.Sender->mid(at + 1));
    }

    r.Filename = nonEmptyOr(line.field(2).toUpper(), existing.Filename);

    if (n >= 18)
        r.RunNumber = line.field(17);
    if (n >= 19) {
        bool ok = false;
        const int code = line.field(19).toInt(&ok, 10);
        d.statusCode = ok ? code : 0;
    }
    if (r.RunNumber && r.RunNumber->isEmpty())
        r.RunNumber = existing.RunNumber;
    if (line.field(19).isEmpty())
        d.statusCode = existingStatus;

    const QString delivery = line.field(4);
    if (delivery == QLatin1String("0000-00-00 00:00:00"))
        r.QZDeliveryTime = sentinelDateTime(Sentinel::Undeliverable);
    else if (!delivery.isEmpty())
        r.QZDeliveryTime = ParseTrackingDate(delivery, shortDateFormat);
    else
        r.QZDeliveryTime = DateField::from(existing.QZServerReceiveTime);

    if (d.statusCode > 0)
        d.statusTime = now;
    if (d.statusCode == 99) {
        d.statusTime = existing.QZServerReceiveTime;
        r.QZDeliveryTime = sentinelDateTime(Sentinel::DecryptFailedMonthFirst);
    }

    d.isNotification =
        (!delivery.isEmpty() && existing.Found) || (delivery.isEmpty() && !line.field(19).isEmpty());
    return d;
}

void completeTrackingRecord(TrackingRecord &r, const TrackingLine &line, const ExistingTrackingRow &existing,
                            const QString &shortDateFormat)
{
    const int n = line.fieldCount();
    const QString patient = line.field(10);
    if (const qsizetype hash = patient.indexOf(u'#'); hash >= 0) {
        r.Patient = patient.left(hash).left(50);
        r.PatientGiven = patient.mid(hash + 1).left(50);
    } else {
        r.Patient = patient;
    }

    r.QZServerReceiveTime = ParseTrackingDate(line.field(3), shortDateFormat);
    if (r.QZServerReceiveTime.isUnreadable())
        r.QZServerReceiveTime = DateField::from(existing.QZServerReceiveTime);
    r.FileType = nonEmptyOr(line.field(5).left(50), existing.FileType);
    r.LabId = line.field(6).left(50);

    if (n >= 8) {
        r.RequestDate = ParseTrackingDate(line.field(7), shortDateFormat);
        r.AddresseeDoc = doctorName(line.field(8));
        r.RequestingDoc = doctorName(line.field(9));
        r.PatientAddress = line.field(11).left(50);
        r.PatientDOB = ParseTrackingDate(line.field(12), shortDateFormat);
        r.DocsPTRef = line.field(13).left(50);
        r.Test = line.field(14).left(50);
        r.CollectTime = timeText(line.field(15), shortDateFormat);
        r.ReportTime = timeText(line.field(16), shortDateFormat);
    }
    if (n >= 18)
        r.RunNumber = nonEmptyOr(line.field(17).left(50), existing.RunNumber);
}
