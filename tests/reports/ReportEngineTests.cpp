#include "shared/text/WallClock.h"
#include "viewer/reports/ReportEngine.h"
#include "viewer/reports/ReportMemoryDataSource.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

// A4 portrait, 10 mm margins: a 20 mm header, 10 mm group headers and details, a 10 mm footer, so
// 24 bands of 10 mm fit between header (ends at 30) and footer (starts at 277).
constexpr double FooterTop = 277.0;

ReportElement fieldElement(const QString &field)
{
    ReportElement element;
    element.kind = ReportElementKind::DataField;
    element.name = field;
    element.field = field;
    element.width = 40;
    return element;
}

ReportBand bandOf(ReportBandKind kind, double height, const QString &groupField = {})
{
    ReportBand band;
    band.kind = kind;
    band.height = height;
    band.groupField = groupField;
    if (!groupField.isEmpty())
        band.elements.append(fieldElement(groupField));
    return band;
}

ReportLayout testLayout(const QStringList &groups = {QStringLiteral("g")}, double detailHeight = 10)
{
    ReportLayout layout;
    layout.name = QStringLiteral("test");
    layout.margins = {10, 10, 10, 10};
    layout.bands.append(bandOf(ReportBandKind::PageHeader, 20));
    for (const QString &group : groups)
        layout.bands.append(bandOf(ReportBandKind::GroupHeader, 10, group));
    ReportBand detail = bandOf(ReportBandKind::Detail, detailHeight);
    detail.elements.append(fieldElement(QStringLiteral("n")));
    layout.bands.append(detail);
    ReportBand footer = bandOf(ReportBandKind::PageFooter, 10);
    ReportElement page;
    page.kind = ReportElementKind::PageNumber;
    page.name = QStringLiteral("page");
    page.text = QStringLiteral("Page ");
    footer.elements.append(page);
    layout.bands.append(footer);
    return layout;
}

// Rows with an outer group "o", an inner group "g" and a serial "n"; groups given as run lengths.
ReportMemoryDataSource rows(const QList<std::pair<QString, int>> &runs,
                            const QString &outer = QStringLiteral("O"))
{
    ReportMemoryDataSource source({QStringLiteral("o"), QStringLiteral("g"), QStringLiteral("n")});
    int serial = 0;
    for (const auto &[group, count] : runs) {
        for (int i = 0; i < count; ++i)
            source.appendRow({outer, group, QString::number(serial++)});
    }
    return source;
}

QList<const ReportPlacedBand *> bandsOf(const ReportPageLayout &page, ReportBandKind kind)
{
    QList<const ReportPlacedBand *> result;
    for (const ReportPlacedBand &band : page.bands) {
        if (band.band->kind == kind)
            result.append(&band);
    }
    return result;
}
// The pointers point into the page: it must outlive them.
QList<const ReportPlacedBand *> bandsOf(ReportPageLayout &&page, ReportBandKind kind) = delete;

TEST(ReportEngineFlow, FillsPagesUpToTheFooterAndPutsTheFooterAtTheBottomMargin)
{
    const ReportMemoryDataSource data = rows({{QStringLiteral("A"), 50}});
    ReportEngine engine(testLayout({}), data);
    ASSERT_EQ(engine.prepare(), 3);

    const QList<std::pair<int, int>> ranges{{0, 24}, {24, 48}, {48, 50}};
    for (int page = 1; page <= 3; ++page) {
        const ReportPageLayout layout = engine.pageLayout(page);
        EXPECT_EQ(layout.firstRow, ranges[page - 1].first) << page;
        EXPECT_EQ(layout.endRow, ranges[page - 1].second) << page;
        const auto headers = bandsOf(layout, ReportBandKind::PageHeader);
        const auto footers = bandsOf(layout, ReportBandKind::PageFooter);
        ASSERT_EQ(headers.size(), 1);
        ASSERT_EQ(footers.size(), 1);
        EXPECT_DOUBLE_EQ(headers[0]->rect.top(), 10.0);
        EXPECT_DOUBLE_EQ(footers[0]->rect.top(), FooterTop);
        EXPECT_EQ(footers[0]->find(QStringLiteral("page"))->text, QStringLiteral("Page %1").arg(page));
        for (const ReportPlacedBand *detail : bandsOf(layout, ReportBandKind::Detail))
            EXPECT_LE(detail->rect.bottom(), FooterTop + 1e-9);
    }
}

TEST(ReportEngineFlow, GroupHeaderIsPrintedAgainWhereItsGroupContinues)
{
    const ReportMemoryDataSource data = rows({{QStringLiteral("A"), 3}, {QStringLiteral("B"), 40}});
    ReportEngine engine(testLayout(), data);
    ASSERT_EQ(engine.prepare(), 2);

    const ReportPageLayout first = engine.pageLayout(1);
    const auto firstGroups = bandsOf(first, ReportBandKind::GroupHeader);
    ASSERT_EQ(firstGroups.size(), 2);
    EXPECT_FALSE(firstGroups[0]->repeated);
    EXPECT_FALSE(firstGroups[1]->repeated);

    const ReportPageLayout second = engine.pageLayout(2);
    ASSERT_GE(second.bands.size(), 3);
    const ReportPlacedBand &top = second.bands[1];
    ASSERT_EQ(top.band->kind, ReportBandKind::GroupHeader);
    EXPECT_TRUE(top.repeated);
    EXPECT_EQ(top.elements.first().text, QStringLiteral("B"));
    EXPECT_DOUBLE_EQ(top.rect.top(), 30.0);
    EXPECT_EQ(second.bands[2].band->kind, ReportBandKind::Detail);
    EXPECT_EQ(second.bands[2].row, second.firstRow);
    EXPECT_EQ(bandsOf(second, ReportBandKind::GroupHeader).size(), 1);
}

TEST(ReportEngineFlow, GroupHeaderMovesToTheNextPageWithItsFirstDetail)
{
    // Page 1: header A (10) and 22 details (220) leave 17 mm: room for B's header, not its detail.
    const ReportMemoryDataSource data = rows({{QStringLiteral("A"), 22}, {QStringLiteral("B"), 2}});
    ReportEngine engine(testLayout(), data);
    ASSERT_EQ(engine.prepare(), 2);

    const ReportPageLayout first = engine.pageLayout(1);
    const ReportPageLayout page2 = engine.pageLayout(2);
    EXPECT_EQ(bandsOf(first, ReportBandKind::GroupHeader).size(), 1);
    const auto second = bandsOf(page2, ReportBandKind::GroupHeader);
    ASSERT_EQ(second.size(), 1);
    EXPECT_FALSE(second[0]->repeated);
    EXPECT_EQ(second[0]->elements.first().text, QStringLiteral("B"));
}

TEST(ReportEngineFlow, AChangeOfAnOuterGroupStartsTheInnerGroupAgain)
{
    ReportMemoryDataSource data({QStringLiteral("o"), QStringLiteral("g"), QStringLiteral("n")});
    data.appendRow({"P1", "X", "0"});
    data.appendRow({"P1", "X", "1"});
    data.appendRow({"P2", "X", "2"});
    data.appendRow({"P2", "Y", "3"});
    ReportEngine engine(testLayout({QStringLiteral("o"), QStringLiteral("g")}), data);
    ASSERT_EQ(engine.prepare(), 1);

    QStringList sequence;
    for (const ReportPlacedBand &band : engine.pageLayout(1).bands) {
        if (band.band->kind == ReportBandKind::GroupHeader)
            sequence.append(band.elements.first().text);
        else if (band.band->kind == ReportBandKind::Detail)
            sequence.append(QStringLiteral("d") + band.elements.first().text);
    }
    EXPECT_EQ(sequence, QStringList({"P1", "X", "d0", "d1", "P2", "X", "d2", "Y", "d3"}));
}

TEST(ReportEngineFlow, NestedGroupsThatContinueAreAllRepeatedOutermostFirst)
{
    ReportMemoryDataSource data({QStringLiteral("o"), QStringLiteral("g"), QStringLiteral("n")});
    for (int i = 0; i < 30; ++i)
        data.appendRow({"P1", "X", QString::number(i)});
    ReportEngine engine(testLayout({QStringLiteral("o"), QStringLiteral("g")}), data);
    ASSERT_EQ(engine.prepare(), 2);

    const ReportPageLayout second = engine.pageLayout(2);
    ASSERT_GE(second.bands.size(), 3);
    ASSERT_TRUE(second.bands[1].repeated);
    EXPECT_EQ(second.bands[1].elements.first().text, QStringLiteral("P1"));
    ASSERT_TRUE(second.bands[2].repeated);
    EXPECT_EQ(second.bands[2].elements.first().text, QStringLiteral("X"));
}

TEST(ReportEngineFlow, EmptyDataGivesOnePageWithHeaderAndFooterOrNoneWhenAsked)
{
    const ReportMemoryDataSource data = rows({});
    ReportEngine engine(testLayout(), data);
    ASSERT_EQ(engine.prepare(), 1);
    const ReportPageLayout page = engine.pageLayout(1);
    ASSERT_EQ(page.bands.size(), 2);
    EXPECT_EQ(page.bands[0].band->kind, ReportBandKind::PageHeader);
    EXPECT_EQ(page.bands[1].band->kind, ReportBandKind::PageFooter);

    ReportLayout silent = testLayout();
    silent.printIfEmpty = false;
    ReportEngine none(silent, data);
    EXPECT_EQ(none.prepare(), 0);
    EXPECT_THROW(none.pageLayout(1), std::out_of_range);
}

TEST(ReportEngineFlow, ABandTallerThanThePageStillEnds)
{
    const ReportMemoryDataSource data = rows({{QStringLiteral("A"), 3}});
    ReportEngine engine(testLayout({}, 400), data);
    EXPECT_EQ(engine.prepare(), 3);
}

TEST(ReportEngineFlow, FirstPageHeaderAndLastPageFooterCanBeLeftOut)
{
    const ReportMemoryDataSource data = rows({{QStringLiteral("A"), 30}});
    ReportLayout layout = testLayout({});
    layout.pageHeaderOnFirstPage = false;
    layout.pageFooterOnLastPage = false;
    ReportEngine engine(layout, data);
    ASSERT_EQ(engine.prepare(), 2);
    const ReportPageLayout first = engine.pageLayout(1);
    EXPECT_TRUE(bandsOf(first, ReportBandKind::PageHeader).isEmpty());
    EXPECT_EQ(first.endRow, 26); // the header's 20 mm hold two more details
    EXPECT_EQ(bandsOf(first, ReportBandKind::PageFooter).size(), 1);
    const ReportPageLayout last = engine.pageLayout(2);
    EXPECT_TRUE(bandsOf(last, ReportBandKind::PageFooter).isEmpty());
}

TEST(ReportEngineHooks, BeforePrintSeesPageNumberAndCountAndChangesText)
{
    const ReportMemoryDataSource data = rows({{QStringLiteral("A"), 30}});
    ReportEngine engine(testLayout({}), data);
    QList<std::pair<int, int>> calls;
    engine.setBeforePrint(ReportBandKind::PageFooter, [&calls](ReportPlacedBand &band, int page, int count) {
        calls.append({page, count});
        band.setText(QStringLiteral("page"), QStringLiteral("%1/%2").arg(page).arg(count));
    });
    engine.prepare();
    EXPECT_TRUE(calls.isEmpty()); // the prepare pass paints nothing and runs no hooks

    const ReportPageLayout second = engine.pageLayout(2);
    EXPECT_EQ(calls, (QList<std::pair<int, int>>{{2, 2}}));
    EXPECT_EQ(bandsOf(second, ReportBandKind::PageFooter)[0]->find(QStringLiteral("page"))->text,
              QStringLiteral("2/2"));
}

TEST(ReportEngineData, MissingFieldsAreNamedWhenTheEngineIsMade)
{
    ReportMemoryDataSource data({QStringLiteral("n")});
    try {
        ReportEngine engine(testLayout({QStringLiteral("g"), QStringLiteral("patient")}), data);
        FAIL() << "expected std::invalid_argument";
    } catch (const std::invalid_argument &error) {
        EXPECT_NE(std::string(error.what()).find("g, patient"), std::string::npos) << error.what();
    }
}

TEST(ReportEngineData, FieldNamesMatchWithoutRegardToCaseAndRowsNeedEveryValue)
{
    ReportMemoryDataSource data({QStringLiteral("PracID")});
    EXPECT_EQ(data.fieldIndex(QStringLiteral("pracid")), 0);
    EXPECT_EQ(data.fieldIndex(QStringLiteral("Patient")), -1);
    EXPECT_THROW(data.appendRow({"a", "b"}), std::invalid_argument);
    EXPECT_EQ(data.rowCount(), 0);
}

TEST(ReportEngineData, PrepareReportsProgressUpToTheLastRow)
{
    const ReportMemoryDataSource data = rows({{QStringLiteral("A"), 100}});
    ReportEngine engine(testLayout({}), data);
    QList<int> done;
    const int pages = engine.prepare([&done](int rowsDone, int total) {
        EXPECT_EQ(total, 100);
        done.append(rowsDone);
    });
    EXPECT_EQ(done.size(), pages);
    EXPECT_TRUE(std::is_sorted(done.begin(), done.end()));
    EXPECT_EQ(done.last(), 100);
}

TEST(ReportEngineData, DateTimeElementsShowTheMomentOfPreparation)
{
    ReportLayout layout = testLayout({});
    ReportElement printed;
    printed.kind = ReportElementKind::DateTime;
    printed.name = QStringLiteral("at");
    printed.text = QStringLiteral("Printed: ");
    layout.bands.last().elements.append(printed);
    const ReportMemoryDataSource data = rows({{QStringLiteral("A"), 1}});
    ReportEngine engine(layout, data);
    engine.setPrintedAt(WallClock::of(QDate(2026, 3, 4), QTime(5, 6, 7)));
    engine.prepare();
    const ReportPageLayout page = engine.pageLayout(1);
    EXPECT_EQ(bandsOf(page, ReportBandKind::PageFooter)[0]->find(QStringLiteral("at"))->text,
              QStringLiteral("Printed: 04/03/2026 05:06:07"));
}

} // namespace

namespace {

struct FitCase
{
    const char *name;
    bool wordWrap;
    double heightMm; // 0: one line
    bool cut;
    int expectedLines;
};

void PrintTo(const FitCase &value, std::ostream *out)
{
    *out << value.name;
}

class ReportTextFitting : public ::testing::TestWithParam<FitCase>
{
};

TEST_P(ReportTextFitting, BoxesPrintWholeLinesAndWholeCharactersOnly)
{
    const FitCase &fit = GetParam();
    const QString text =
        QStringLiteral("Thyroid function tests, Ferritin, Vitamin B12 and folate, Lipid profile");
    ReportLayout layout = testLayout({});
    ReportElement &box = layout.bands[1].elements.first();
    box.wordWrap = fit.wordWrap;
    box.height = fit.heightMm;
    box.clip = fit.cut;
    box.width = 30;
    ReportMemoryDataSource data({QStringLiteral("n")});
    data.appendRow({text});
    ReportEngine engine(layout, data);
    engine.prepare();
    const ReportPageLayout page = engine.pageLayout(1);
    const ReportPlacedElement &placed = bandsOf(page, ReportBandKind::Detail)[0]->elements.first();

    ASSERT_EQ(placed.lines.size(), fit.expectedLines) << placed.lines.join('|').toStdString();
    EXPECT_TRUE(text.startsWith(placed.lines.first())) << placed.lines.first().toStdString();
    if (fit.wordWrap) {
        // Whole words: each line ends where the text has a blank or ends.
        const QString joined = placed.lines.join(QLatin1Char(' '));
        EXPECT_TRUE(text.startsWith(joined));
        EXPECT_TRUE(joined.size() == text.size() || text.at(joined.size()) == QLatin1Char(' '));
    }
    if (fit.cut)
        EXPECT_LT(placed.lines.join(QString()).size(), text.size());
    else
        EXPECT_EQ(placed.lines.first(), text);
}

INSTANTIATE_TEST_SUITE_P(Boxes, ReportTextFitting,
                         ::testing::Values(FitCase{"OneWrappedLine", true, 0, true, 1},
                                           FitCase{"TwoWrappedLines", true, 8.0, true, 2},
                                           FitCase{"CutAtTheEdge", false, 0, true, 1},
                                           FitCase{"KeptWhole", false, 0, false, 1}),
                         [](const auto &info) { return std::string(info.param.name); });

} // namespace
