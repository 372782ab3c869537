// TReportDefinition: a banded list report as data: its page, its font and its bands of placed items.
#pragma once

#include <QPageLayout>
#include <QPageSize>

#include <string>
#include <utility>
#include <vector>

namespace report {

// Where a band prints: the title once at the top of the first page, the column headers at the top of every
// page, a detail band once for each record of the dataset.
enum class TBandKind { Title, ColumnHeader, Detail };

enum class TAlignment { Left, Right };

// One text of a band: a label, or the value of a field of the current record. Positions and sizes are in
// inches, measured on the design page from the left edge of its printable area.
struct TReportItem {
    double left = 0;
    double width = 0;
    std::string text;       // a label's text, Windows-1252 bytes
    std::string fieldName;  // a data item's field; empty for a label
    // A data item's float mask (rtl's FormatFloat); empty prints the field's DisplayText.
    std::string mask;
    TAlignment alignment = TAlignment::Left;

    bool IsData() const { return !fieldName.empty(); }
};

// A label of a band.
inline TReportItem Label(double left, double width, std::string text, TAlignment alignment = TAlignment::Left) {
    TReportItem item;
    item.left = left;
    item.width = width;
    item.text = std::move(text);
    item.alignment = alignment;
    return item;
}

// A field's value, through a float mask when one is given.
inline TReportItem DataItem(double left, double width, std::string fieldName, std::string mask = {},
                            TAlignment alignment = TAlignment::Left) {
    TReportItem item;
    item.left = left;
    item.width = width;
    item.fieldName = std::move(fieldName);
    item.mask = std::move(mask);
    item.alignment = alignment;
    return item;
}

struct TReportBand {
    TBandKind kind = TBandKind::Detail;
    double height = 0;  // inches
    std::vector<TReportItem> items;
};

// The paper the report is designed for; its margins are the same on every side.
struct TReportPage {
    QPageSize::PageSizeId paper = QPageSize::Letter;
    QPageLayout::Orientation orientation = QPageLayout::Portrait;
    double margin = 0;  // inches
};

struct TReportFont {
    std::string family;
    double pointSize = 10;
};

struct TReportDefinition {
    std::string title;  // the document's name
    TReportPage page;
    TReportFont font;
    std::vector<TReportBand> bands;

    // The design page as a page layout, margins in millimetres.
    QPageLayout PageLayout() const;
    // The printable width of the design page in inches: the width the items' positions are measured on.
    double DesignWidth() const;
};

}  // namespace report
