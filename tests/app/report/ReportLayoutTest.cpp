#include "app/report/ReportLayout.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "db/DataSource.h"
#include "rtl/DateTime.h"
#include "PlacedTexts.h"
#include "RecordingLink.h"
#include "ReportTestSupport.h"

namespace report {
namespace {

using reporttest::FillNames;
using reporttest::ListDefinition;

using reporttest::Texts;

// The names of the detail rows, page by page.
std::vector<std::string> DetailNames(const std::vector<TLaidOutPage>& pages) {
    return reporttest::DetailTexts(pages, "Name ");
}

TEST(ReportLayout, AnEmptyDatasetGivesOnePageWithTheTitleAndTheHeaders) {
    db_test::TMemDataSet data;
    FillNames(data, 0);
    const TReportDefinition definition = ListDefinition();
    const auto pages = LayOutReport(definition, data, definition.PageLayout());
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(Texts(pages[0], TBandKind::Title), std::vector<std::string>{"Name list"});
    EXPECT_EQ(Texts(pages[0], TBandKind::ColumnHeader), (std::vector<std::string>{"Name", "Rate", "Day"}));
    EXPECT_TRUE(Texts(pages[0], TBandKind::Detail).empty());
}

TEST(ReportLayout, AClosedDatasetPrintsAsAnEmptyOne) {
    db_test::TMemDataSet data;
    FillNames(data, 3);
    data.Close();
    const TReportDefinition definition = ListDefinition();
    const auto pages = LayOutReport(definition, data, definition.PageLayout());
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_TRUE(Texts(pages[0], TBandKind::Detail).empty());
}

// A row that no longer fits starts the next page, under the headers again; the title stays on page 1.
TEST(ReportLayout, RowsFillEachPageAndTheNextPageRepeatsTheHeaders) {
    const struct {
        int rows;
        std::size_t pages;
    } cases[] = {
        {1, 1},
        {reporttest::kFirstPageRows, 1},
        {reporttest::kFirstPageRows + 1, 2},
        {reporttest::kFirstPageRows + reporttest::kLaterPageRows, 2},
        {reporttest::kFirstPageRows + reporttest::kLaterPageRows + 1, 3},
    };
    const TReportDefinition definition = ListDefinition();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rows);
        db_test::TMemDataSet data;
        FillNames(data, c.rows);
        const auto pages = LayOutReport(definition, data, definition.PageLayout());
        ASSERT_EQ(pages.size(), c.pages);
        for (std::size_t p = 0; p < pages.size(); ++p) {
            EXPECT_EQ(Texts(pages[p], TBandKind::Title).size(), p == 0 ? 1u : 0u);
            EXPECT_EQ(Texts(pages[p], TBandKind::ColumnHeader).size(), 3u);
        }
        std::vector<std::string> expected;
        for (int i = 1; i <= c.rows; ++i) expected.push_back("Name " + std::to_string(i));
        EXPECT_EQ(DetailNames(pages), expected);
    }
}

TEST(ReportLayout, RowsFollowTheDatasetsFilter) {
    db_test::TMemDataSet data;
    FillNames(data, 40);
    data.SetOnFilterRecord([](db::TDataSet& record, bool& accept) {
        accept = record.FieldByName("RATE").AsFloat() > 20 * 1000.5;
    });
    data.SetFiltered(true);
    data.First();
    const TReportDefinition definition = ListDefinition();
    const auto pages = LayOutReport(definition, data, definition.PageLayout());
    std::vector<std::string> expected;
    for (int i = 21; i <= 40; ++i) expected.push_back("Name " + std::to_string(i));
    EXPECT_EQ(pages.size(), 1u);
    EXPECT_EQ(DetailNames(pages), expected);
}

TEST(ReportLayout, TextsStayInsideTheMarginsAndKeepTheirAlignment) {
    db_test::TMemDataSet data;
    FillNames(data, 50);
    const TReportDefinition definition = ListDefinition();
    const QPageLayout page = definition.PageLayout();
    const QRectF area = page.paintRect(QPageLayout::Inch);
    EXPECT_DOUBLE_EQ(area.left(), 0.5);
    EXPECT_DOUBLE_EQ(area.width(), 10.0);
    EXPECT_DOUBLE_EQ(area.height(), 7.5);
    for (const TLaidOutPage& laid : LayOutReport(definition, data, page)) {
        for (const TPlacedText& text : laid.texts) {
            SCOPED_TRACE(text.text);
            EXPECT_GE(text.rect.left(), area.left());
            EXPECT_GE(text.rect.top(), area.top());
            EXPECT_LE(text.rect.right(), area.right() + 1e-9);
            EXPECT_LE(text.rect.bottom(), area.bottom() + 1e-9);
            const bool rate = text.rect.left() > 4.5 && text.rect.left() < 7.5;
            EXPECT_EQ(text.alignment, rate ? TAlignment::Right : TAlignment::Left);
        }
    }
}

// Another paper: the columns scale to its printable width, the rows per page follow its height.
TEST(ReportLayout, OnAnotherPageTheColumnsScaleAndTheRowsFollowItsHeight) {
    db_test::TMemDataSet data;
    FillNames(data, 50);
    const TReportDefinition definition = ListDefinition();
    // Letter portrait: 7.5 by 10 inches to print on.
    const QPageLayout portrait(QPageSize(QPageSize::Letter), QPageLayout::Portrait,
                               QMarginsF(12.7, 12.7, 12.7, 12.7), QPageLayout::Millimeter);
    const auto pages = LayOutReport(definition, data, portrait);
    ASSERT_EQ(pages.size(), 2u);
    // (10 - 0.8) / 0.2 = 46 rows on the first page.
    EXPECT_EQ(Texts(pages[0], TBandKind::Detail).size(), 46u * 3u);
    for (const TPlacedText& text : pages[0].texts) {
        if (text.text != "Rate") continue;
        EXPECT_NEAR(text.rect.left(), 0.5 + 4 * 0.75 + kCellPadding, 1e-9);
        EXPECT_NEAR(text.rect.width(), 3 * 0.75 - 2 * kCellPadding, 1e-9);
    }
}

TEST(ReportLayout, ItemTextsFormatTheirValues) {
    db_test::TMemDataSet data;
    FillNames(data, 0);
    data.Append();
    data.FieldByName("NAME").SetAsString("Ann");
    data.FieldByName("RATE").SetAsFloat(12345.6);
    data.FieldByName("DAY").SetAsDateTime(rtl::EncodeDate(2024, 3, 5));
    data.Post();
    const TReportItem rate = DataItem(0, 1, "RATE", "#,##0.00", TAlignment::Right);
    const TReportItem day = DataItem(0, 1, "DAY");
    const TReportItem label = Label(0, 1, "Rate");
    EXPECT_EQ(ItemText(rate, data), "12,345.60");
    EXPECT_EQ(ItemText(day, data), "3/5/2024");  // the current short date format
    EXPECT_EQ(ItemText(label, data), "Rate");
    data.Edit();
    data.FieldByName("RATE").Clear();
    data.FieldByName("DAY").Clear();
    data.Post();
    EXPECT_EQ(ItemText(rate, data), "");
    EXPECT_EQ(ItemText(day, data), "");
}

// The links see nothing of the walk, and the current record is the one before it, also after a failure.
TEST(ReportLayout, TheWalkLeavesTheDatasetOnItsRecordWithItsControlsEnabled) {
    db_test::TMemDataSet data;
    FillNames(data, 40);
    data.MoveBy(16);
    db::TDataSource source;
    source.SetDataSet(&data);
    db_test::RecordingLink link;
    link.SetDataSource(&source);
    const TReportDefinition definition = ListDefinition();
    link.Take();
    LayOutReport(definition, data, definition.PageLayout());
    EXPECT_EQ(data.FieldByName("NAME").AsString(), "Name 17");
    EXPECT_FALSE(data.ControlsDisabled());
    EXPECT_EQ(link.Take(), std::vector<std::string>{"change"});  // the one change at EnableControls

    TReportDefinition broken = definition;
    broken.bands.back().items.push_back(DataItem(0, 1, "MISSING"));
    EXPECT_ANY_THROW(LayOutReport(broken, data, definition.PageLayout()));
    EXPECT_EQ(data.FieldByName("NAME").AsString(), "Name 17");
    EXPECT_FALSE(data.ControlsDisabled());
}

}  // namespace
}  // namespace report
