// QtPrintService: printing on the default printer without asking, else into a PDF file the user names.
#pragma once

#include <QString>

#include <optional>

#include "app/services/PrintService.h"

class QPrinter;

namespace app {

// Set (to anything) in the environment, the service ignores every printer and takes the PDF road, so that
// no test reaches a real printer.
inline constexpr char kPrintToPdfVariable[] = "KEYVALE_PRINT_TO_PDF";

class QtPrintService final : public PrintService {
public:
    // The PDF file dialog proposes the job's title + ".pdf" in the working directory.
    PrintOutcome PrintDocument(const QTextDocument& document, std::string_view jobTitle) override;
    // Qt's print preview dialog over the active window, on a printer that starts on the layout: the default
    // printer, else (and always under the switch) a PDF file, the title + ".pdf" in the working directory
    // proposed. Each repaint lays the pages out for the printer's page as it then is, so the preview's page
    // and orientation buttons work; its Print opens Qt's print dialog, and accepting it prints.
    PrintOutcome Preview(std::string_view title, int helpContext, const QPageLayout& layout,
                         const TRenderPages& render) override;

    // Whether the environment sends every job to a PDF file.
    static bool PrintToPdf();

private:
    // Points the printer at the default printer, else at a PDF file the user names (`proposed` offered);
    // false when the user cancels the file dialog.
    static bool ChooseOutput(QPrinter& printer, const QString& proposed = QString());
    static std::optional<QString> AskPdfFile(const QString& proposed);
};

}  // namespace app
