// QtPrintService: printing on the default printer without asking, else into a PDF file the user names.
#pragma once

#include <QString>

#include <optional>

#include "app/PrintService.h"

class QPrinter;

namespace app {

// Set (to anything) in the environment, the service ignores every printer and takes the PDF road, so that
// no test reaches a real printer.
inline constexpr char kPrintToPdfVariable[] = "KEYVALE_PRINT_TO_PDF";

class QtPrintService final : public PrintService {
public:
    // The PDF file dialog proposes the job's title + ".pdf" in the working directory.
    PrintOutcome PrintDocument(const QTextDocument& document, std::string_view jobTitle) override;
    // A print preview dialog over the active window.
    void Preview(std::string_view title, const QPageLayout& layout, const TRenderPages& render) override;

    // Whether the environment sends every job to a PDF file.
    static bool PrintToPdf();

private:
    // Points the printer at the default printer, else at a PDF file the user names (`proposed` offered);
    // false when the user cancels the file dialog.
    static bool ChooseOutput(QPrinter& printer, const QString& proposed = QString());
    static std::optional<QString> AskPdfFile(const QString& proposed);
};

}  // namespace app
