// PaintReport: laid-out report pages painted onto a paged device: a print preview, a printer or a PDF file.
#pragma once

#include <vector>

#include "app/report/ReportDefinition.h"
#include "app/report/ReportLayout.h"

class QPagedPaintDevice;

namespace report {

// Paints each page on the device in the font, starting every page after the first with newPage(). The
// texts' rectangles are taken from the paper's corner onto the device's printable area, so the pages must
// have been laid out for the device's page layout. False when the device refuses: it cannot be painted on,
// or a page or the end of the job fails (an unwritable file, a printer gone).
bool PaintReport(const std::vector<TLaidOutPage>& pages, const TReportFont& font, QPagedPaintDevice& device);

}  // namespace report
