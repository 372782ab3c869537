#include "app/QtPrintService.h"

#include <QApplication>
#include <QFileDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QTextDocument>

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

void QtPrintService::Preview(std::string_view title, const QPageLayout& layout, const TRenderPages& render) {
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(ToQString(title));
    // The preview itself reaches no printer; printing from it goes where a print job would.
    if (PrintToPdf() || QPrinterInfo::defaultPrinter().isNull()) printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setPageLayout(layout);
    QPrintPreviewDialog dialog(&printer, QApplication::activeWindow());
    dialog.setWindowTitle(ToQString(title));
    QObject::connect(&dialog, &QPrintPreviewDialog::paintRequested, &dialog,
                     [&render](QPrinter* device) { db::widgets::Guarded([&] { render(*device); }); });
    dialog.exec();
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
