#include "tests/reports/ReportFixture.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QImage>

#include <gtest/gtest.h>

#include <cmath>

using namespace ReportFixture;

namespace {

constexpr double Tolerance = 0.5; // mm
constexpr double SizedToText = -1;

const ReportPlacedBand *firstBand(const ReportPageLayout &page, ReportBandKind kind)
{
    for (const ReportPlacedBand &band : page.bands) {
        if (band.band->kind == kind)
            return &band;
    }
    return nullptr;
}
// The pointer points into the page: it must outlive it.
const ReportPlacedBand *firstBand(ReportPageLayout &&page, ReportBandKind kind) = delete;

// An element is named by its data field, its caption text or its element name.
const ReportPlacedElement *findElement(const ReportPlacedBand &band, const QString &id)
{
    for (const ReportPlacedElement &placed : band.elements) {
        const ReportElement &element = *placed.element;
        const bool matches = element.kind == ReportElementKind::DataField
                                 ? element.field == id
                                 : element.text == id || element.name == id;
        if (matches)
            return &placed;
    }
    return nullptr;
}

// Rows enough to give every band of the layout on page 1.
ReportMemoryDataSource rowsFor(ReportKind kind)
{
    if (kind != ReportKind::Undelivered)
        return trackRows({{QStringLiteral("SMITH John"), 2}});
    ReportMemoryDataSource summary(ReportLayouts::undeliveredSummaryFields());
    summary.appendRow({"PRAC1", "1", "2", "3", "4", "5", "15", "01 Dec 2026 10:00"});
    return summary;
}

struct Placement
{
    ReportKind report;
    ReportBandKind band;
    const char *element;
    double left;
    double top;
    double width; // SizedToText: not fixed
    Qt::Alignment alignment = Qt::AlignLeft;
};

void PrintTo(const Placement &value, std::ostream *out)
{
    *out << kindName(value.report) << " " << value.element;
}

class LayoutGeometry : public ::testing::TestWithParam<Placement>
{
};

TEST_P(LayoutGeometry, ElementSitsWhereTheLayoutPutsIt)
{
    const Placement &expected = GetParam();
    const ReportMemoryDataSource rows = rowsFor(expected.report);
    PreparedReport report(expected.report, rows, QStringLiteral("Patient like 'S%'"));
    const ReportPageLayout page = report.engine.pageLayout(1);
    const ReportPlacedBand *band = firstBand(page, expected.band);
    ASSERT_NE(band, nullptr);
    const ReportPlacedElement *placed = findElement(*band, QString::fromLatin1(expected.element));
    ASSERT_NE(placed, nullptr) << expected.element;

    EXPECT_NEAR(placed->rect.left() - band->rect.left(), expected.left, Tolerance) << expected.element;
    EXPECT_NEAR(placed->rect.top() - band->rect.top(), expected.top, Tolerance) << expected.element;
    if (expected.width != SizedToText)
        EXPECT_NEAR(placed->rect.width(), expected.width, Tolerance) << expected.element;
    else
        EXPECT_TRUE(placed->element->sizedToText()) << expected.element;
    EXPECT_EQ(placed->element->alignment & Qt::AlignHorizontal_Mask, expected.alignment) << expected.element;
    EXPECT_LE(placed->rect.bottom(), band->rect.bottom() + 1e-9) << expected.element << " leaves its band";
}

constexpr auto Search = ReportKind::Search;
constexpr auto Practice = ReportKind::Practice;
constexpr auto Summary = ReportKind::Undelivered;
constexpr auto Header = ReportBandKind::PageHeader;
constexpr auto Group = ReportBandKind::GroupHeader;
constexpr auto Detail = ReportBandKind::Detail;
constexpr auto Footer = ReportBandKind::PageFooter;

INSTANTIATE_TEST_SUITE_P(
    SearchReport, LayoutGeometry,
    ::testing::Values(Placement{Search, Header, "Orvane Tracking Report ", 2.1, 2.1, SizedToText},
                      Placement{Search, Header, "Criteria:", 55.8, 2.6, SizedToText},
                      Placement{Search, Header, "CriteriaText", 72.0, 2.6, SizedToText},
                      Placement{Search, Group, "PatientName", 2.1, 0.8, SizedToText},
                      Placement{Search, Group, "PatientAddress", 93.1, 1.3, 68.0},
                      Placement{Search, Group, "Lab Ref", 2.1, 6.9, 10.8},
                      Placement{Search, Group, "Test Name(s)", 21.2, 6.9, 46.8},
                      Placement{Search, Group, "Request Date", 69.8, 6.9, 21.4},
                      Placement{Search, Group, "Addressee Doctor", 93.1, 6.9, 48.9},
                      Placement{Search, Group, "Requesting Doctor", 146.1, 6.9, 59.5},
                      Placement{Search, Group, "Quazor ID", 207.4, 6.9, 15.1},
                      Placement{Search, Group, "Status", 224.4, 6.9, 27.8},
                      Placement{Search, Detail, "LabId", 2.1, 0.5, 16.7},
                      Placement{Search, Detail, "Test", 21.2, 0.5, 46.8},
                      Placement{Search, Detail, "RequestDate", 69.8, 0.5, 19.3},
                      Placement{Search, Detail, "AddresseeDoc", 93.1, 0.5, 51.1},
                      Placement{Search, Detail, "RequestingDoc", 146.1, 0.5, 59.5},
                      Placement{Search, Detail, "PracID", 207.4, 0.5, 15.6},
                      Placement{Search, Detail, "Status", 224.4, 0.5, 38.4},
                      Placement{Search, Footer, "PrintedAt", 2.1, 1.1, SizedToText},
                      Placement{Search, Footer, "PageNumber", 129.1, 1.1, 48.2, Qt::AlignRight},
                      Placement{Search, Footer, "TotalLabel", 177.8, 1.1, SizedToText}));

INSTANTIATE_TEST_SUITE_P(
    PracticeReport, LayoutGeometry,
    ::testing::Values(Placement{Practice, Header, "Orvane Tracking Report ", 2.1, 2.1, SizedToText},
                      Placement{Practice, Header, "Criteria:", 55.8, 2.6, SizedToText},
                      Placement{Practice, Header, "CriteriaText", 72.0, 2.6, SizedToText},
                      Placement{Practice, Group, "Practice Name", 2.1, 0.5, 40.5},
                      Placement{Practice, Group, "PracID", 46.6, 0.5, SizedToText},
                      Placement{Practice, Group, "Status", 2.1, 6.9, 27.8},
                      Placement{Practice, Group, "Download File", 40.2, 6.9, 27.8},
                      Placement{Practice, Group, "Addressee", 80.4, 6.9, 27.8},
                      Placement{Practice, Group, "Patient", 118.5, 6.9, 46.8},
                      Placement{Practice, Group, "Patient DOB", 165.1, 6.9, 21.4},
                      Placement{Practice, Group, "Test", 190.5, 6.9, 21.4},
                      Placement{Practice, Detail, "Status", 1.9, 0.5, 36.5},
                      Placement{Practice, Detail, "Filename", 40.2, 0.5, 32.0},
                      Placement{Practice, Detail, "AddresseeDoc", 80.4, 0.5, 36.2},
                      Placement{Practice, Detail, "PatientName", 118.5, 0.5, 44.7},
                      Placement{Practice, Detail, "PatientDOB", 165.1, 0.5, 25.7},
                      Placement{Practice, Detail, "Test", 190.5, 0.5, 76.5},
                      Placement{Practice, Footer, "PrintedAt", 2.1, 1.1, SizedToText},
                      Placement{Practice, Footer, "PageNumber", 135.5, 1.1, 48.2, Qt::AlignRight},
                      Placement{Practice, Footer, "TotalLabel", 184.2, 1.1, SizedToText}));

INSTANTIATE_TEST_SUITE_P(
    UndeliveredSummary, LayoutGeometry,
    ::testing::Values(Placement{Summary, Header, "Orvane - Undelivered Results Summary", 2.1, 2.1,
                                SizedToText},
                      Placement{Summary, Header, "Number of Results Undelivered since ...", 40.2, 9.0, 99.7},
                      Placement{Summary, Header, "Practice Name", 2.1, 13.2, 36.2},
                      Placement{Summary, Header, "Today", 40.2, 13.2, 10.8, Qt::AlignRight},
                      Placement{Summary, Header, "Today -1", 52.9, 13.2, 13.2, Qt::AlignRight},
                      Placement{Summary, Header, "Today -2", 67.7, 13.2, 13.2, Qt::AlignRight},
                      Placement{Summary, Header, "Today - 3", 82.5, 13.2, 13.2, Qt::AlignRight},
                      Placement{Summary, Header, "3+ Days", 97.4, 13.2, 13.2, Qt::AlignRight},
                      Placement{Summary, Header, "Total Undelivered", 112.2, 13.2, 27.5, Qt::AlignRight},
                      Placement{Summary, Header, "Last Result Delivery", 141.8, 13.2, 38.4},
                      Placement{Summary, Detail, "pracid", 1.9, 0.5, 36.5},
                      Placement{Summary, Detail, "count_today", 40.2, 0.5, 10.8, Qt::AlignRight},
                      Placement{Summary, Detail, "count_today_1", 52.9, 0.5, 13.2, Qt::AlignRight},
                      Placement{Summary, Detail, "count_today_2", 67.7, 0.5, 13.2, Qt::AlignRight},
                      Placement{Summary, Detail, "count_today_3", 82.5, 0.5, 13.2, Qt::AlignRight},
                      Placement{Summary, Detail, "count_today_4_plus", 97.4, 0.5, 13.2, Qt::AlignRight},
                      Placement{Summary, Detail, "count_total", 112.2, 0.5, 27.8, Qt::AlignRight},
                      Placement{Summary, Detail, "last_delivery", 141.8, 0.5, 38.4},
                      Placement{Summary, Footer, "PrintedAt", 2.1, 1.1, SizedToText},
                      Placement{Summary, Footer, "PageNumber", 135.5, 1.1, 48.2, Qt::AlignRight},
                      Placement{Summary, Footer, "TotalLabel", 184.2, 1.1, SizedToText}));

struct PageSetup
{
    ReportKind report;
    double paperWidth;
    double paperHeight;
    ReportMargins margins;
    double header;
    double group; // 0: no group header
    double detail;
    double footer;
};

void PrintTo(const PageSetup &value, std::ostream *out)
{
    *out << kindName(value.report);
}

class LayoutPageSetup : public ::testing::TestWithParam<PageSetup>
{
};

TEST_P(LayoutPageSetup, BandsAndMarginsMatchTheLayout)
{
    const PageSetup &expected = GetParam();
    const ReportMemoryDataSource rows = rowsFor(expected.report);
    PreparedReport report(expected.report, rows);
    const ReportPageLayout page = report.engine.pageLayout(1);
    EXPECT_NEAR(page.paperSize.width(), expected.paperWidth, Tolerance);
    EXPECT_NEAR(page.paperSize.height(), expected.paperHeight, Tolerance);

    const double bandWidth = expected.paperWidth - expected.margins.left - expected.margins.right;
    for (const ReportPlacedBand &band : page.bands) {
        EXPECT_NEAR(band.rect.left(), expected.margins.left, Tolerance);
        EXPECT_NEAR(band.rect.width(), bandWidth, Tolerance);
    }
    const ReportPlacedBand *header = firstBand(page, ReportBandKind::PageHeader);
    const ReportPlacedBand *detail = firstBand(page, ReportBandKind::Detail);
    const ReportPlacedBand *footer = firstBand(page, ReportBandKind::PageFooter);
    ASSERT_TRUE(header && detail && footer);
    EXPECT_NEAR(header->rect.top(), expected.margins.top, Tolerance);
    EXPECT_NEAR(header->rect.height(), expected.header, Tolerance);
    EXPECT_NEAR(detail->rect.height(), expected.detail, Tolerance);
    EXPECT_NEAR(footer->rect.height(), expected.footer, Tolerance);
    EXPECT_NEAR(footer->rect.bottom(), expected.paperHeight - expected.margins.bottom, Tolerance);

    const ReportPlacedBand *group = firstBand(page, ReportBandKind::GroupHeader);
    if (expected.group > 0) {
        ASSERT_NE(group, nullptr);
        EXPECT_NEAR(group->rect.height(), expected.group, Tolerance);
        EXPECT_NEAR(group->rect.top(), header->rect.bottom(), 1e-9);
        EXPECT_EQ(group->band->colour, QColor(166, 202, 240));
    } else {
        EXPECT_EQ(group, nullptr);
    }
    EXPECT_TRUE(header->band->lineBelow);
}

INSTANTIATE_TEST_SUITE_P(Reports, LayoutPageSetup,
                         ::testing::Values(PageSetup{Search, 297, 210, {5, 10, 5, 5}, 7.9, 11.9, 5.0, 5.8},
                                           PageSetup{Practice, 297, 210, {5, 10, 5, 10}, 7.9, 10.6, 4.2, 6.3},
                                           PageSetup{Summary, 210, 297, {5, 10, 5, 10}, 18.5, 0, 4.5, 6.3}),
                         [](const auto &info) { return kindName(info.param.report); });

TEST(LayoutLines, FooterLinesAndTheSinceLabelUnderline)
{
    const ReportLayout search = ReportLayouts::QuickRep1();
    const ReportLayout practice = ReportLayouts::QuickRep3();
    const ReportLayout summary = ReportLayouts::qrptUndelivered();
    EXPECT_TRUE(search.band(ReportBandKind::PageFooter)->lineAbove);
    EXPECT_FALSE(practice.band(ReportBandKind::PageFooter)->lineAbove);
    EXPECT_FALSE(summary.band(ReportBandKind::PageFooter)->lineAbove);
    int underlined = 0;
    for (const ReportElement &element : summary.band(ReportBandKind::PageHeader)->elements)
        underlined += element.lineBelow ? 1 : 0;
    EXPECT_EQ(underlined, 1);
}

TEST(LayoutFonts, ArialOrItsMetricTwinIsInstalledAndUsed)
{
    const ReportMemoryDataSource rows = rowsFor(Search);
    PreparedReport report(Search, rows);
    for (const ReportPlacedBand &band : report.engine.pageLayout(1).bands) {
        for (const ReportPlacedElement &placed : band.elements) {
            const QString family = placed.font.family();
            EXPECT_TRUE(family == QStringLiteral("Arial") || family == QStringLiteral("Liberation Sans"))
                << qPrintable(family);
            EXPECT_TRUE(QFontDatabase::hasFamily(family)) << qPrintable(family);
        }
    }
}

TEST(LayoutText, SizedToTextElementsGrowWithTheirText)
{
    const ReportMemoryDataSource rows = rowsFor(Search);
    PreparedReport report(Search, rows, QStringLiteral("Patient like 'S%'"));
    auto criteriaWidth = [&report]() {
        const ReportPageLayout page = report.engine.pageLayout(1);
        return findElement(*firstBand(page, Header), QStringLiteral("CriteriaText"))->rect.width();
    };
    const double narrow = criteriaWidth();
    report.engine.setText(QString::fromLatin1(ReportLayouts::CriteriaElement),
                          QStringLiteral("Patient like 'S%' and From Date >= 2026-11-09 00:00:00"));
    const double wide = criteriaWidth();
    EXPECT_GT(narrow, 10.0);
    EXPECT_GT(wide, narrow * 2);
}

TEST(LayoutText, BirthDateInThePatientHeaderPrintsWhole)
{
    const ReportMemoryDataSource rows = rowsFor(Search);
    PreparedReport report(Search, rows);
    const ReportPageLayout page = report.engine.pageLayout(1);
    const ReportPlacedElement *dob = findElement(*firstBand(page, Group), "PatientDOB");
    ASSERT_NE(dob, nullptr);
    QImage device(1, 1, QImage::Format_ARGB32);
    device.setDotsPerMeterX(47244); // 1200 dpi
    device.setDotsPerMeterY(47244);
    const double widestDate =
        QFontMetricsF(dob->font, &device).horizontalAdvance(QStringLiteral("00/00/0000"));
    EXPECT_LE(widestDate / 1200 * 25.4, dob->rect.width());
    // It still ends before the address box.
    const ReportPlacedElement *address = findElement(*firstBand(page, Group), "PatientAddress");
    EXPECT_LE(dob->rect.right(), address->rect.left());
}

} // namespace

namespace {

// Mended fault: a long patient name ran over the date of birth and the address.
TEST(LayoutText, LongTextStopsAtTheNextBoxOnItsLine)
{
    const QString longName =
        QStringLiteral("WOLFESCHLEGELSTEINHAUSENBERGERDORFF-PRINCESS Huberta Maximiliane Amalia");
    const ReportMemoryDataSource rows = trackRows({{longName, 1}});
    PreparedReport report(Search, rows);
    const ReportPageLayout page = report.engine.pageLayout(1);
    const ReportPlacedBand *group = firstBand(page, Group);
    ASSERT_NE(group, nullptr);
    const ReportPlacedElement *name = findElement(*group, "PatientName");
    const ReportPlacedElement *dob = findElement(*group, "PatientDOB");
    ASSERT_NE(name, nullptr);
    ASSERT_NE(dob, nullptr);
    ASSERT_EQ(name->lines.size(), 1);
    const QString printed = name->lines.first();
    EXPECT_TRUE(name->text.startsWith(printed)) << printed.toStdString();
    EXPECT_LT(printed.size(), name->text.size()) << "the long name was not cut";
    EXPECT_GT(printed.size(), 10);
    QImage device(1, 1, QImage::Format_ARGB32);
    device.setDotsPerMeterX(47244); // 1200 dpi
    device.setDotsPerMeterY(47244);
    const double printedMm = QFontMetricsF(name->font, &device).horizontalAdvance(printed) / 1200 * 25.4;
    EXPECT_LE(name->rect.left() + printedMm, dob->rect.left() + 0.01);
    // The boxes themselves stay where the layout puts them.
    EXPECT_NEAR(dob->rect.left() - name->rect.left(), 69.8 - 2.1, Tolerance);
}

} // namespace
