#include "tools/report-samples/ReportSampleRows.h"

#include "viewer/reports/ReportLayouts.h"

#include <QDate>

#include <algorithm>

namespace {

const QStringList Surnames{"ABBOTT",      "BRENNAN",   "CHALMERS",      "DOUGHERTY", "ELLISON",
                           "FAIRWEATHER", "GALLAGHER", "HOLLINGSWORTH", "IVANOVA",   "JOHANSSON-MACKENZIE"};
const QStringList Given{"Margaret Anne", "Tom", "Priya", "Aleksander", "Siobhan", "Wei", "Olufemi", "Ruth"};
const QStringList Tests{"Full blood count",
                        "Urea and electrolytes, Liver function tests",
                        "HbA1c",
                        "Thyroid function tests, Ferritin, Vitamin B12 and folate, Lipid profile (fasting)",
                        "Urine culture",
                        "Histology: skin biopsy left forearm"};
const QStringList Doctors{"Dr A Hartley", "Dr Benedict Okonkwo-Smythe", "Dr C Lam", "Dr D Fitzgerald"};
const QStringList Practices{"ELMSTREET", "HARBOURMED", "NORTHGATE", "PARKVIEW01", "RIVERSIDE", "WESTHILL22"};
const QStringList Statuses{"HL7 Ack 07/12/26 09:14:02",   "Waiting 08/12/2026 16:40:11",     "Undeliverable",
                           " 06/12/26 11:02:45",          "Retransmitted 05/12/26 08:00:00", "Decrypt FAIL",
                           "HL7 REJECT 04/12/26 17:21:09"};

QString pick(const QStringList &list, int index)
{
    return list.at(index % list.size());
}

} // namespace

namespace ReportSampleRows {

QStringList trackFields()
{
    return {"Status",      "PracID",       "QZDeliveryTime",      "MsgID",
            "Sender",      "Filename",     "QZServerReceiveTime", "FileType",
            "LabId",       "RequestDate",  "AddresseeDoc",        "RequestingDoc",
            "Patient",     "PatientGiven", "PatientAddress",      "PatientDOB",
            "DocsPTRef",   "Test",         "CollectTime",         "ReportTime",
            "PatientName", "ReadStatus",   "RunNumber",           "StatusTime"};
}

ReportMemoryDataSource trackRows(int count, int rowsPerPatient, bool byPractice)
{
    const QDate base(2026, 12, 1);
    QList<QStringList> rows;
    for (int i = 0; i < count; ++i) {
        const int patient = i / std::max(1, rowsPerPatient);
        const QString surname =
            pick(Surnames, patient) +
            (patient >= Surnames.size() ? QString::number(patient / Surnames.size()) : QString());
        const QString given = pick(Given, patient);
        const QString request = base.addDays(-(i % 9)).toString("dd/MM/yyyy");
        rows.append({pick(Statuses, i),
                     pick(Practices, i / 3),
                     request + " 10:00:00",
                     QStringLiteral("MSG%1").arg(i, 7, 10, QLatin1Char('0')),
                     "PATHLAB",
                     QStringLiteral("R%1.hl7").arg(i, 6, 10, QLatin1Char('0')),
                     request + " 09:30:00",
                     "HL7",
                     QStringLiteral("L%1").arg(100000 + i),
                     request,
                     pick(Doctors, i),
                     pick(Doctors, i + 1),
                     surname,
                     given,
                     QStringLiteral("%1 Harbour Road, Westport").arg(1 + patient % 97),
                     QDate(1940 + patient % 60, 1 + patient % 12, 1 + patient % 28).toString("dd/MM/yyyy"),
                     QString::number(patient),
                     pick(Tests, i),
                     "",
                     "",
                     surname + " " + given,
                     QString::number(3),
                     QString::number(i / 50),
                     ""});
    }
    if (byPractice) {
        std::stable_sort(rows.begin(), rows.end(),
                         [](const QStringList &a, const QStringList &b) { return a.at(1) < b.at(1); });
    }
    ReportMemoryDataSource source(trackFields());
    for (QStringList &row : rows)
        source.appendRow(std::move(row));
    return source;
}

ReportMemoryDataSource undeliveredRows(int practices)
{
    ReportMemoryDataSource source(ReportLayouts::undeliveredSummaryFields());
    for (int i = 0; i < practices; ++i) {
        const QList<int> counts{i % 4, (i * 3) % 5, i % 2, 0, (i * 7) % 13};
        int total = 0;
        QStringList row{pick(Practices, i) + (i >= Practices.size() ? QString::number(i) : QString())};
        for (int count : counts) {
            row.append(QString::number(count));
            total += count;
        }
        row.append(QString::number(total));
        row.append(i % 5 == 4
                       ? QString()
                       : QStringLiteral("0%1 Dec 2026 1%2:%3").arg(1 + i % 8).arg(i % 10).arg(10 + i % 50));
        source.appendRow(row);
    }
    return source;
}

} // namespace ReportSampleRows
