#include "app/report/ReportPainter.h"

#include <QFont>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QString>

#include <string>

#include "rtl/Text.h"

namespace report {

namespace {

QString ToQString(const std::string& bytes) {
    const std::u16string text = rtl::Cp1252ToUtf16(bytes);
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

Qt::Alignment QtAlignment(TAlignment alignment) {
    const Qt::Alignment horizontal = alignment == TAlignment::Right ? Qt::AlignRight : Qt::AlignLeft;
    return horizontal | Qt::AlignVCenter;
}

}  // namespace

bool PaintReport(const std::vector<TLaidOutPage>& pages, const TReportFont& font, QPagedPaintDevice& device) {
    QPainter painter;
    if (!painter.begin(&device)) return false;
    // The painter's origin is the corner of the printable area, in device pixels.
    const QPointF origin = device.pageLayout().paintRect(QPageLayout::Inch).topLeft();
    const double dpiX = device.logicalDpiX();
    const double dpiY = device.logicalDpiY();
    QFont face(ToQString(font.family));
    face.setPointSizeF(font.pointSize);
    painter.setFont(face);
    bool first = true;
    for (const TLaidOutPage& page : pages) {
        if (!first && !device.newPage()) {
            painter.end();
            return false;
        }
        first = false;
        for (const TPlacedText& text : page.texts) {
            const QRectF cell((text.rect.left() - origin.x()) * dpiX, (text.rect.top() - origin.y()) * dpiY,
                              text.rect.width() * dpiX, text.rect.height() * dpiY);
            // Drawn into a rectangle, a text is clipped to it.
            painter.drawText(cell, static_cast<int>(QtAlignment(text.alignment)) | Qt::TextSingleLine,
                             ToQString(text.text));
        }
    }
    return painter.end();
}

}  // namespace report
