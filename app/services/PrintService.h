// PrintService: printing a text document and previewing paged output, so that tests reach no printer.
#pragma once

#include <QPageLayout>

#include <functional>
#include <string_view>

class QPagedPaintDevice;
class QTextDocument;

namespace app {

// Paints every page on the device, starting a new page with its newPage(); false when the device refuses.
using TRenderPages = std::function<bool(QPagedPaintDevice& device)>;

// How a print job ended: on paper or in a file, not at all because the user cancelled the choice of file,
// or not at all because the device refused it.
enum class PrintOutcome { Printed, Cancelled, Failed };

class PrintService {
public:
    virtual ~PrintService();

    // Prints the document at once as a job of that title (Windows-1252 bytes): on the default printer
    // without a dialog, or, with no printer, into a PDF file the user names.
    virtual PrintOutcome PrintDocument(const QTextDocument& document, std::string_view jobTitle) = 0;
    // Shows the pages that `render` paints for the page layout in a modal preview (the window carries the
    // help context) from which the user may print them: Printed when the user printed from it, Cancelled
    // when it closed without printing, Failed when the device refused the pages.
    virtual PrintOutcome Preview(std::string_view title, int helpContext, const QPageLayout& layout,
                                 const TRenderPages& render) = 0;
};

}  // namespace app
