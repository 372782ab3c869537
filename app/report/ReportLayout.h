// LayOutReport: a report definition over a dataset, laid out into pages of placed texts, without painting.
#pragma once

#include <QPageLayout>
#include <QRectF>

#include <string>
#include <vector>

#include "app/report/ReportDefinition.h"

namespace db {
class TDataSet;
}

namespace report {

// Room left between a text and the edges of its column, on each side (inches): two columns' texts never
// touch.
inline constexpr double kCellPadding = 0.04;

// One text where it prints: its rectangle is in inches from the paper's top-left corner, and the text is
// clipped to it.
struct TPlacedText {
    TBandKind band = TBandKind::Detail;
    std::string text;  // Windows-1252 bytes
    QRectF rect;
    TAlignment alignment = TAlignment::Left;
};

struct TLaidOutPage {
    std::vector<TPlacedText> texts;
};

// Lays the report out for `page`: the title band at the top of page 1, the column headers at the top of
// every page, then one detail band per record, in the dataset's order and under its filter; a detail band
// that no longer fits starts a new page (a page takes at least one, however small it is). The columns scale
// from the design's printable width to the page's; the rows keep their height, so the rows per page follow
// the page's printable height. An empty or closed dataset gives one page with the title and the headers.
// The dataset is walked under DisableControls and left on the record that was current.
std::vector<TLaidOutPage> LayOutReport(const TReportDefinition& definition, db::TDataSet& dataSet,
                                       const QPageLayout& page);

// What an item prints for the dataset's current record: a label's text; a field's value through the
// item's float mask or as its DisplayText; empty for a null value.
std::string ItemText(const TReportItem& item, const db::TDataSet& dataSet);

}  // namespace report
