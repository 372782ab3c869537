#include "app/report/ReportLayout.h"

#include <algorithm>

#include "app/report/DataSetWalk.h"
#include "db/DataSet.h"
#include "db/Field.h"
#include "rtl/FloatFormat.h"

namespace report {

namespace {

// Heights are sums of inches: a band that ends this close to the bottom still fits.
constexpr double kFitTolerance = 1e-9;

class PageBuilder {
public:
    PageBuilder(const TReportDefinition& definition, const QPageLayout& page)
        : definition_(definition), area_(page.paintRect(QPageLayout::Inch)) {
        const double design = definition.DesignWidth();
        scale_ = design > 0 ? area_.width() / design : 1.0;
    }

    void StartPage() {
        pages_.emplace_back();
        top_ = area_.top();
        detailsOnPage_ = 0;
        PlaceBands(pages_.size() == 1 ? TBandKind::Title : TBandKind::ColumnHeader, nullptr);
        if (pages_.size() == 1) PlaceBands(TBandKind::ColumnHeader, nullptr);
    }

    void PlaceDetail(const db::TDataSet& record) {
        for (const TReportBand& band : definition_.bands) {
            if (band.kind != TBandKind::Detail) continue;
            if (detailsOnPage_ > 0 && top_ + band.height > area_.bottom() + kFitTolerance) StartPage();
            Place(band, &record);
            ++detailsOnPage_;
        }
    }

    std::vector<TLaidOutPage> Take() { return std::move(pages_); }

private:
    void PlaceBands(TBandKind kind, const db::TDataSet* record) {
        for (const TReportBand& band : definition_.bands) {
            if (band.kind == kind) Place(band, record);
        }
    }

    void Place(const TReportBand& band, const db::TDataSet* record) {
        for (const TReportItem& item : band.items) {
            TPlacedText placed;
            placed.band = band.kind;
            placed.text = item.IsData() && record != nullptr ? ItemText(item, *record) : item.text;
            const double left = area_.left() + item.left * scale_ + kCellPadding;
            const double width = std::max(0.0, item.width * scale_ - 2 * kCellPadding);
            placed.rect = QRectF(left, top_, width, band.height);
            placed.alignment = item.alignment;
            pages_.back().texts.push_back(std::move(placed));
        }
        top_ += band.height;
    }

    const TReportDefinition& definition_;
    QRectF area_;
    double scale_ = 1.0;
    std::vector<TLaidOutPage> pages_;
    double top_ = 0;
    int detailsOnPage_ = 0;
};

}  // namespace

std::string ItemText(const TReportItem& item, const db::TDataSet& dataSet) {
    if (!item.IsData()) return item.text;
    const db::TField& field = dataSet.FieldByName(item.fieldName);
    if (field.IsNull()) return {};
    if (!item.mask.empty()) return rtl::FormatFloat(item.mask, field.AsFloat());
    return field.DisplayText();
}

std::vector<TLaidOutPage> LayOutReport(const TReportDefinition& definition, db::TDataSet& dataSet,
                                       const QPageLayout& page) {
    PageBuilder builder(definition, page);
    builder.StartPage();
    TDataSetWalk walk(dataSet);
    walk.ForEach([&builder](db::TDataSet& record) { builder.PlaceDetail(record); });
    walk.Finish();
    return builder.Take();
}

}  // namespace report
