#include "app/QtPrintService.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QTextDocument>

#include "app/HelpContext.h"
#include "app/core/Texts.h"
#include "db/widgets/Guarded.h"
#include "db/widgets/QtText.h"

namespace app {

using db::widgets::ToQString;

bool QtPrintService::PrintToPdf() {
    return !qEnvironmentVariableIsEmpty(kPrintToPdfVariable);
}

PrintOutcome QtPrintService::PrintDocument(const QTextDocument& document, std::string_view jobTitle) {
    QPrinter printer(QPrinter::HighResolution);
    const QString title = ToQString(jobTitle);
    printer.setDocName(title);
    if (!ChooseOutput(printer, title + QStringLiteral(".pdf"))) return PrintOutcome::Cancelled;
    // The document paints through a painter of its own, so the device's refusal (a file that cannot be
    // written, a printer that rejects the job) shows only in the printer's state afterwards.
    document.print(&printer);
    return printer.printerState() == QPrinter::Error ? PrintOutcome::Failed : PrintOutcome::Printed;
}

PrintOutcome QtPrintService::Preview(std::string_view title, int helpContext, const QPageLayout& layout,
                                    const TRenderPages& render) {
    QPrinter printer(QPrinter::HighResolution);
    const QString name = ToQString(title);
    printer.setDocName(name);
    // The preview itself reaches no printer; printing from it goes where a print job would. Qt's print
    // dialog then offers its "Print to File (PDF)" with this file.
    if (PrintToPdf() || QPrinterInfo::defaultPrinter().isNull()) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(QDir::current().filePath(name + QStringLiteral(".pdf")));
    }
    printer.setPageLayout(layout);
    QPrintPreviewDialog dialog(&printer, QApplication::activeWindow());
    dialog.setWindowTitle(name);
    SetHelpContext(dialog, helpContext);
    bool refused = false;
    QObject::connect(&dialog, &QPrintPreviewDialog::paintRequested, &dialog, [&render, &refused](QPrinter* device) {
        if (!db::widgets::Guarded([&] { refused = !render(*device) || refused; })) refused = true;
    });
    // The dialog closes itself accepted once its print dialog has been accepted and the pages printed.
    if (dialog.exec() != QDialog::Accepted) return PrintOutcome::Cancelled;
    return refused || printer.printerState() == QPrinter::Error ? PrintOutcome::Failed : PrintOutcome::Printed;
}

bool QtPrintService::ChooseOutput(QPrinter& printer, const QString& proposed) {
    if (!PrintToPdf()) {
        const QPrinterInfo defaultPrinter = QPrinterInfo::defaultPrinter();
        if (!defaultPrinter.isNull()) {
            printer.setPrinterName(defaultPrinter.printerName());
            return true;
        }
    }
    const std::optional<QString> file = AskPdfFile(proposed);
    if (!file) return false;
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(*file);
    return true;
}

std::optional<QString> QtPrintService::AskPdfFile(const QString& proposed) {
    // Qt's own dialog, so that it is modal over the program's windows on every platform.
    QFileDialog dialog(QApplication::activeWindow(), ToQString(kSaveAsPdf), QString(), ToQString(kPdfFilter));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(QStringLiteral("pdf"));
    if (!proposed.isEmpty()) dialog.selectFile(proposed);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

}  // namespace app
