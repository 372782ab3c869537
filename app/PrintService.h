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

class PrintService {
public:
    virtual ~PrintService();

    // Prints the document as a job of that title (Windows-1252 bytes).
    virtual void PrintDocument(const QTextDocument& document, std::string_view jobTitle) = 0;
    // Shows the pages that `render` paints in a preview from which the user may print them.
    virtual void Preview(std::string_view title, const QPageLayout& layout, const TRenderPages& render) = 0;
};

}  // namespace app
