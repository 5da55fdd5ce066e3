#include "tests/reports/ReportFixture.h"

#include <QProcess>
#include <QRegularExpression>

#include <gtest/gtest.h>

namespace {

QString run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(60000) || process.exitCode() != 0) {
        ADD_FAILURE() << program.toStdString() << " failed: " << process.readAllStandardError().toStdString();
        return {};
    }
    return QString::fromUtf8(process.readAllStandardOutput());
}

} // namespace

namespace ReportFixture {

std::string kindName(ReportKind kind)
{
    switch (kind) {
    case ReportKind::Search:
        return "Search";
    case ReportKind::Practice:
        return "Practice";
    case ReportKind::Undelivered:
        return "Undelivered";
    }
    return "Unknown";
}

QStringList trackFields()
{
    return {"Status",       "PracID",        "Filename",    "LabId",      "Test",          "RequestDate",
            "AddresseeDoc", "RequestingDoc", "PatientName", "PatientDOB", "PatientAddress"};
}

ReportMemoryDataSource trackRows(const QList<Patient> &patients)
{
    ReportMemoryDataSource source(trackFields());
    int serial = 0;
    for (const Patient &patient : patients) {
        for (int i = 0; i < patient.rows; ++i, ++serial) {
            source.appendRow(
                {QStringLiteral("HL7 Ack 01/12/26 10:00:%1").arg(serial % 60, 2, 10, QLatin1Char('0')),
                 patient.practice, QStringLiteral("F%1.hl7").arg(serial), QStringLiteral("LAB%1").arg(serial),
                 QStringLiteral("Test %1").arg(serial), QStringLiteral("01/12/2026"),
                 QStringLiteral("Dr Addressee"), QStringLiteral("Dr Requester"), patient.name,
                 QStringLiteral("28/02/1957"), QStringLiteral("1 High Street")});
        }
    }
    return source;
}

PreparedReport::PreparedReport(ReportKind kind, const ReportDataSource &rows, const QString &criteria)
    : engine(ReportLayouts::forKind(kind), rows)
{
    engine.setText(QString::fromLatin1(ReportLayouts::CriteriaElement), criteria);
    engine.setBeforePrint(ReportBandKind::PageFooter, ReportLayouts::pageFooterBeforePrint());
    engine.prepare();
}

PdfDocument readPdf(const QString &path)
{
    PdfDocument document;
    const QString info = run(QStringLiteral("pdfinfo"), {path});
    const QRegularExpressionMatch pages = QRegularExpression(QStringLiteral("Pages:\\s+(\\d+)")).match(info);
    const QRegularExpressionMatch size =
        QRegularExpression(QStringLiteral("Page size:\\s+([\\d.]+) x ([\\d.]+) pts")).match(info);
    if (pages.hasMatch())
        document.pages = pages.captured(1).toInt();
    if (size.hasMatch())
        document.pageSizePoints = QSizeF(size.captured(1).toDouble(), size.captured(2).toDouble());

    QStringList texts =
        run(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), path, QStringLiteral("-")})
            .split(QLatin1Char('\f'));
    if (!texts.isEmpty() && texts.constLast().trimmed().isEmpty())
        texts.removeLast();
    document.pageTexts = texts;
    return document;
}

} // namespace ReportFixture

void PrintTo(ReportKind kind, std::ostream *out)
{
    *out << ReportFixture::kindName(kind);
}
