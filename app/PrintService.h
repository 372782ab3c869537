// PrintService: printing a text document and previewing paged output, so that tests reach no printer.
#pragma once

#include <QPageLayout>

#include <functional>
#include <string_view>

class QPagedPaintDevice;
class QTextDocument;

namespace app {

// Paints every page on the device, starting a new page with its newPage().
using TRenderPages = std::function<void(QPagedPaintDevice& device)>;

// How a print job ended: on paper or in a file, not at all because the user cancelled the choice of file,
// or not at all because the device refused it.
enum class PrintOutcome { Printed, Cancelled, Failed };

class PrintService {
public:
    virtual ~PrintService();

    // Prints the document at once as a job of that title (Windows-1252 bytes): on the default printer
    // without a dialog, or, with no printer, into a PDF file the user names.
    virtual PrintOutcome PrintDocument(const QTextDocument& document, std::string_view jobTitle) = 0;
    // Shows the pages that `render` paints in a preview from which the user may print them.
    virtual void Preview(std::string_view title, const QPageLayout& layout, const TRenderPages& render) = 0;
};

}  // namespace app
