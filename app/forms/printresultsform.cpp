#include "app/forms/printresultsform.h"

#include <QPagedPaintDevice>

#include <array>
#include <string>
#include <utility>

#include "app/core/MessageService.h"
#include "app/core/Texts.h"
#include "app/forms/SmallDialog.h"
#include "app/report/ReportPainter.h"
#include "app/services/PrintService.h"
#include "rtl/FormatSettings.h"

namespace app {

namespace {

using report::TAlignment;
using report::TBandKind;

// The list's page: Letter landscape with half an inch (127 tenths of a millimetre) on every side, which
// leaves 10 by 7.5 inches to print on.
constexpr double kListMargin = 0.5;
// Band heights in inches: room for one 10-point line each, the title's and the headers' with space below.
constexpr double kTitleHeight = 0.4;
constexpr double kHeaderHeight = 0.25;
constexpr double kRowHeight = 0.2;
// Every text of the list, in the program's typeface (our choice of face).
constexpr double kListPointSize = 10;

// One column: its header, its field and mask, its width in inches (the widths fill the 10 inches).
struct ListColumn {
    std::string_view field;
    std::string_view mask;
    double width;
    TAlignment alignment;
};
constexpr std::array<ListColumn, 12> kListColumns = {{
    {"NAME", "", 1.9, TAlignment::Left},
    {"KPH", kRateMask, 0.75, TAlignment::Right},
    {"NKPH", kRateMask, 0.75, TAlignment::Right},
    {"ACCURACY", kAccuracyMask, 0.7, TAlignment::Right},
    {"TOTALKS", "", 0.6, TAlignment::Right},
    {"TOTALFLDS", "", 0.6, TAlignment::Right},
    {"TOTERRS", "", 0.7, TAlignment::Right},
    {"FLDERRS", "", 0.75, TAlignment::Right},
    {"TIME", kDurationMask, 0.65, TAlignment::Right},
    {"TESTTYPE", "", 0.95, TAlignment::Left},
    {"TESTDATE", "", 0.7, TAlignment::Left},
    {"TESTTIME", "", 0.95, TAlignment::Left},
}};

}  // namespace

report::TReportDefinition ResultsListReport() {
    report::TReportDefinition definition;
    definition.title = std::string(kListTitle);
    definition.page = {QPageSize::Letter, QPageLayout::Landscape, kListMargin};
    definition.font = {kFormFontFamily, kListPointSize};
    report::TReportBand title{TBandKind::Title, kTitleHeight, {}};
    report::TReportBand headers{TBandKind::ColumnHeader, kHeaderHeight, {}};
    report::TReportBand detail{TBandKind::Detail, kRowHeight, {}};
    double left = 0;
    for (std::size_t i = 0; i < kListColumns.size(); ++i) {
        const ListColumn& column = kListColumns[i];
        headers.items.push_back(report::Label(left, column.width, std::string(kListHeaders[i]), column.alignment));
        detail.items.push_back(report::DataItem(left, column.width, std::string(column.field),
                                                std::string(column.mask), column.alignment));
        left += column.width;
    }
    title.items.push_back(report::Label(0, left, std::string(kListTitle)));
    definition.bands = {std::move(title), std::move(headers), std::move(detail)};
    return definition;
}

Tprintresultsform::Tprintresultsform(TResultsSource results, PrintService& print, MessageService& messages,
                                     QObject* parent)
    : QObject(parent),
      Report1(ResultsListReport()),
      results_(std::move(results)),
      print_(print),
      messages_(messages) {
    FormCreate();
}

void Tprintresultsform::FormCreate() {
    rtl::CurrentFormatSettings().ShortDateFormat = std::string(kShortDateFormat);
}

std::vector<report::TLaidOutPage> Tprintresultsform::LayOut(const QPageLayout& page) const {
    return report::LayOutReport(Report1, results_(), page);
}

void Tprintresultsform::Preview() {
    // Each paint lays the list out for the device's page as it is then (the preview's page and orientation
    // buttons change it).
    const PrintOutcome outcome =
        print_.Preview(Report1.title, kResultsHelpContext, Report1.PageLayout(), [this](QPagedPaintDevice& device) {
            return report::PaintReport(LayOut(device.pageLayout()), Report1.font, device);
        });
    if (outcome == PrintOutcome::Failed) messages_.ShowError(kPrintingFailed);
}

}  // namespace app
