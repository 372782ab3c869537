#include "app/report/ReportDefinition.h"

#include <QRectF>

namespace report {

namespace {

constexpr double kMillimetresPerInch = 25.4;

}  // namespace

QPageLayout TReportDefinition::PageLayout() const {
    const double margin = page.margin * kMillimetresPerInch;
    return QPageLayout(QPageSize(page.paper), page.orientation, QMarginsF(margin, margin, margin, margin),
                       QPageLayout::Millimeter);
}

double TReportDefinition::DesignWidth() const {
    return PageLayout().paintRect(QPageLayout::Inch).width();
}

}  // namespace report
