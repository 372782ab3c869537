// A small list report and an in-memory dataset of named rows for the report layer's tests.
#pragma once

#include <string>
#include <vector>

#include "app/report/ReportDefinition.h"
#include "db/Field.h"
#include "MemDataSet.h"
#include "tests/support/PdfText.h"

namespace reporttest {

// Letter landscape, half-inch margins: 10 by 7.5 inches to print on.
inline constexpr double kTitleHeight = 0.5;
inline constexpr double kHeaderHeight = 0.3;
inline constexpr double kRowHeight = 0.2;
// Rows on the first page (below the title and the headers) and on every later page.
inline constexpr int kFirstPageRows = 33;  // (7.5 - 0.8) / 0.2 = 33.5
inline constexpr int kLaterPageRows = 36;  // (7.5 - 0.3) / 0.2 = 36

inline report::TReportDefinition ListDefinition() {
    using report::TAlignment;
    using report::TBandKind;
    report::TReportDefinition definition;
    definition.title = "Name list";
    definition.page = {QPageSize::Letter, QPageLayout::Landscape, 0.5};
    definition.font = {"Arial", 10};
    definition.bands = {
        {TBandKind::Title, kTitleHeight, {report::Label(0, 10, "Name list")}},
        {TBandKind::ColumnHeader,
         kHeaderHeight,
         {report::Label(0, 4, "Name"), report::Label(4, 3, "Rate", TAlignment::Right), report::Label(7, 3, "Day")}},
        {TBandKind::Detail,
         kRowHeight,
         {report::DataItem(0, 4, "NAME"), report::DataItem(4, 3, "RATE", "#,##0.00", TAlignment::Right),
          report::DataItem(7, 3, "DAY")}},
    };
    return definition;
}

// NAME, RATE and DAY; row i (from 1) is "Name i" with the rate i * 1000.5 and no day.
inline void FillNames(db_test::TMemDataSet& data, int rows) {
    data.SetColumns({{"NAME", db::ftString, 20}, {"RATE", db::ftFloat}, {"DAY", db::ftDate}});
    data.Open();
    for (int i = 1; i <= rows; ++i) {
        data.Append();
        data.FieldByName("NAME").SetAsString("Name " + std::to_string(i));
        data.FieldByName("RATE").SetAsFloat(i * 1000.5);
        data.Post();
    }
    data.First();
}

using testsupport::PdfPages;
using testsupport::PdfText;

}  // namespace reporttest
