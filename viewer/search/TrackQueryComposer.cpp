#include "viewer/search/TrackQueryComposer.h"

#include "shared/tracking/SqlDialect.h"
#include "shared/tracking/TrackingSchema.h"
#include "shared/text/WallClock.h"

namespace {

const QDate RangeStartWhenOpen{2000, 1, 1};

QString criteriaDate(const QDateTime &value)
{
    return value.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QString quoted(const QString &text)
{
    return u'"' + text + u'"';
}

QString anywhere(const QString &text)
{
    return u'%' + text.trimmed() + u'%';
}

} // namespace

void ComposedTrackQuery::bindTo(DbStatement &statement) const
{
    for (const QueryParameter &parameter : parameters)
        statement.bind(parameter.name, parameter.type, parameter.value);
}

QString TrackQueryComposer::sentinel(QDate date) const
{
    return QStringLiteral("QZDeliveryTime = ") + m_dialect.dateLiteral(date);
}

QString TrackQueryComposer::statusCondition(int statusIndex) const
{
    const QString decryptFailed = sentinel(Sentinel::DecryptFailedDayFirst) + QStringLiteral(" or ") +
                                  sentinel(Sentinel::DecryptFailedMonthFirst);
    switch (statusIndex) {
    case 0:
        return QStringLiteral("QZDeliveryTime is null");
    case 1:
        return QStringLiteral("QZDeliveryTime is not null and QZDeliveryTime <> ") +
               m_dialect.dateLiteral(Sentinel::Undeliverable);
    case 2:
        return sentinel(Sentinel::Undeliverable);
    case 3:
        // An or-expression: the caller encloses it once more.
        return QStringLiteral("QZDeliveryTime is null or (") + decryptFailed + QStringLiteral(" or ") +
               sentinel(Sentinel::Undeliverable) + u')';
    case 4:
        return sentinel(Sentinel::Emailed);
    case 5:
        return sentinel(Sentinel::Managed);
    case 6:
        return QStringLiteral("ReadStatus = 2");
    case 7:
        return QStringLiteral("ReadStatus = 3");
    case 8:
        return QStringLiteral("ReadStatus = 6");
    case 9:
        return QStringLiteral("ReadStatus = 99");
    case 10:
        return u'(' + decryptFailed + u')';
    default:
        return {};
    }
}

QString statusCriteriaText(int statusIndex)
{
    static constexpr const char *Texts[] = {
        "Status: Waiting ",
        "Status: Delivery ",
        "Status: Undeliverable ",
        "Status: Not Delivered ",
        "Status: Emailed ",
        "Status: Managed ",
        "Status: Imported/Processed ",
        "Status: HL7 Ack ",
        "Status: HL7 Reject ",
        "Status: Auto Resent ",
        "Status: Decrypt Fail ",
    };
    if (statusIndex < 0 || statusIndex >= int(std::size(Texts)))
        return {};
    return QString::fromLatin1(Texts[statusIndex]);
}

ComposedTrackQuery TrackQueryComposer::compose(const SearchCriteria &c, const QString &sortOrder,
                                               const QDateTime &now) const
{
    ComposedTrackQuery query;
    QStringList &lines = query.criterionLines;
    const auto text = [&](const QString &name, const QString &value) {
        query.parameters.push_back({name, ParamType::Text, value});
    };
    const auto dateTime = [&](const QString &name, const QDateTime &value) {
        query.parameters.push_back({name, ParamType::DateTime, value});
    };

    // Lines in criteria order; parameters in the order the description wants them appended below.
    if (c.requestIdChecked)
        lines << m_dialect.likeCondition(QStringLiteral("LabId"), QStringLiteral("QLabId"));
    if (c.nameFilterChecked)
        lines << m_dialect.likeCondition(QStringLiteral("patient"), QStringLiteral("Qpatient"));
    if (c.mailboxChecked)
        lines << m_dialect.likeCondition(QStringLiteral("pracid"), QStringLiteral("Qpracid"));
    if (c.addresseeChecked)
        lines << m_dialect.likeCondition(QStringLiteral("AddresseeDoc"), QStringLiteral("QAddresseeDoc"));
    if (c.requestingDocChecked)
        lines << m_dialect.likeCondition(QStringLiteral("RequestingDoc"), QStringLiteral("QRequestingDoc"));
    if (c.dobChecked)
        lines << QStringLiteral("PatientDOB = :QPatDOB");
    if (c.reqDateChecked)
        lines << QStringLiteral("RequestDate = :QRequestDate");
    const QString status = statusCondition(c.statusIndex);
    if (!status.isEmpty())
        lines << (c.statusIndex == 3 ? u'(' + status + u')' : status);
    const QString fileType = c.fileTypeText.trimmed();
    const bool fileTypeApplies = c.fileTypeChecked && !c.fileTypeText.isEmpty();
    if (fileTypeApplies)
        lines << m_dialect.likeCondition(QStringLiteral("FileType"), QStringLiteral("QFileType"));
    const bool runNumberApplies = c.runNumberChecked && !c.runNumberText.isEmpty();
    if (runNumberApplies)
        lines << m_dialect.likeCondition(QStringLiteral("RunNumber"), QStringLiteral("QRunNumber"));
    const bool rangeApplies = c.fromDateChecked || c.toDateChecked;
    if (rangeApplies)
        lines << QStringLiteral(
            "((QZServerReceiveTime between :QFromDate and :QTodate) or (StatusTime between "
            ":QFromDate2 and :QTodate2) or (QZDeliveryTime between :QFromDate3 and :QTodate3))");

    if (lines.isEmpty())
        return query;
    for (qsizetype i = 0; i + 1 < lines.size(); ++i)
        lines[i] += QStringLiteral(" and");

    query.trackLines = QStringList{
        QStringLiteral("select"),
        QStringLiteral("case"),
        QStringLiteral("when QZDeliveryTime is null then 1"),
        QStringLiteral("when ") + sentinel(Sentinel::Undeliverable) + QStringLiteral(" then 0"),
        QStringLiteral("when QZDeliveryTime = QZServerReceiveTime then 2"),
        QStringLiteral("else 3 end as StatusOrder, *"),
        QStringLiteral("from Tracking Where "),
    };
    query.trackLines << lines << QStringLiteral("order by ") + sortOrder;
    query.countLines =
        QStringList{QStringLiteral("select Count(MsgID) as TRACKCOUNT from Tracking Where ")} + lines;

    const QDateTime from =
        c.fromDateChecked ? WallClock::of(c.fromDate, c.fromTime) : WallClock::of(RangeStartWhenOpen);
    const QDateTime to =
        c.toDateChecked ? WallClock::of(c.toDate, c.toTime) : WallClock::of(now.date().addDays(1));
    const QDateTime dob = WallClock::of(c.dobDate);
    const QDateTime requested = WallClock::of(c.reqDate);
    const QString mailbox = c.mailboxText.trimmed();

    if (c.requestIdChecked)
        text(QStringLiteral("QLabId"), c.requestText.trimmed() + u'%');
    if (c.nameFilterChecked)
        text(QStringLiteral("Qpatient"), c.nameFilterText.trimmed() + u'%');
    if (c.mailboxChecked)
        text(QStringLiteral("Qpracid"), mailbox.contains(u'%') ? mailbox : mailbox + u'%');
    if (c.addresseeChecked)
        text(QStringLiteral("QAddresseeDoc"), anywhere(c.addresseeText));
    if (c.requestingDocChecked)
        text(QStringLiteral("QRequestingDoc"), anywhere(c.requestingDocText));
    if (fileTypeApplies)
        text(QStringLiteral("QFileType"), anywhere(c.fileTypeText));
    if (runNumberApplies)
        text(QStringLiteral("QRunNumber"), anywhere(c.runNumberText));
    if (c.dobChecked)
        dateTime(QStringLiteral("QPatDOB"), dob);
    if (c.reqDateChecked)
        dateTime(QStringLiteral("QRequestDate"), requested);
    if (rangeApplies) {
        for (const char *suffix : {"", "2", "3"})
            dateTime(QStringLiteral("QFromDate") + QLatin1String(suffix), from);
        for (const char *suffix : {"", "2", "3"})
            dateTime(QStringLiteral("QTodate") + QLatin1String(suffix), to);
    }

    QString &d = query.criteriaText;
    d += statusCriteriaText(c.statusIndex);
    if (c.requestIdChecked)
        d += QStringLiteral("Lab Ref = ") + quoted(c.requestText.trimmed()) + QStringLiteral(", ");
    if (rangeApplies)
        d += QStringLiteral("From ") + criteriaDate(from) + QStringLiteral(",") + QStringLiteral("to ") +
             criteriaDate(to) + QStringLiteral(", ");
    if (fileTypeApplies)
        d += QStringLiteral("Type ") + fileType + QStringLiteral(", ");
    if (c.reqDateChecked)
        d += QStringLiteral("Requested ") + criteriaDate(requested) + QStringLiteral(", ");
    if (c.dobChecked)
        d += QStringLiteral("DOB ") + criteriaDate(dob) + QStringLiteral(", ");
    if (c.nameFilterChecked)
        d += QStringLiteral("Patient ") + quoted(c.nameFilterText.trimmed()) + QStringLiteral(", ");
    if (c.mailboxChecked)
        d += QStringLiteral("Practice ") + quoted(mailbox) + QStringLiteral(", ");
    if (c.addresseeChecked)
        d += QStringLiteral("Addressee ") + quoted(c.addresseeText.trimmed()) + QStringLiteral(", ");
    if (c.requestingDocChecked)
        d += QStringLiteral("Requestor ") + quoted(c.requestingDocText.trimmed()) + QStringLiteral(", ");
    if (runNumberApplies)
        d += QStringLiteral("Run Number ") + quoted(c.runNumberText.trimmed()) + QStringLiteral(", ");
    return query;
}
