#include "viewer/search/SearchCriteria.h"

SearchCriteria SearchCriteria::atStartup(const QDate &today)
{
    SearchCriteria criteria;
    criteria.fromDate = today.addDays(-1);
    criteria.toDate = today;
    criteria.reqDate = today;
    return criteria;
}

const QStringList &statusFilterEntries()
{
    static const QStringList entries{
        QStringLiteral("Waiting"),       QStringLiteral("Delivered"),    QStringLiteral("Undeliverable"),
        QStringLiteral("Not Delivered"), QStringLiteral("Emailed"),      QStringLiteral("Managed"),
        QStringLiteral("Processed"),     QStringLiteral("HL7 ACK"),      QStringLiteral("HL7 Reject"),
        QStringLiteral("Auto Resent"),   QStringLiteral("Decrypt Fail"), QStringLiteral("All"),
    };
    return entries;
}

int statusFilterIndexOf(const QString &entry)
{
    const qsizetype index = statusFilterEntries().indexOf(entry);
    return index < 0 ? SearchCriteria::NoStatus : int(index);
}

QString statusFilterText(int index)
{
    if (index < 0 || index >= statusFilterEntries().size())
        return {};
    return statusFilterEntries().at(index);
}
