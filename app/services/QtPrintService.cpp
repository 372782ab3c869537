#include "app/services/QtPrintService.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QPainter>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QTextDocument>

#include <memory>

#include "app/core/Texts.h"
#include "app/services/HelpContext.h"
#include "db/widgets/Guarded.h"
#include "db/widgets/QtText.h"

namespace app {

using db::widgets::ToQString;

namespace {

// The margin around a printed text report, in millimetres: the 2 cm QTextDocument::print gives.
constexpr double kPrintMarginMm = 20;

}  // namespace

bool QtPrintService::PrintToPdf() {
    return !qEnvironmentVariableIsEmpty(kPrintToPdfVariable);
}

PrintOutcome QtPrintService::PrintDocument(const QTextDocument& document, std::string_view jobTitle) {
    QPrinter printer(QPrinter::HighResolution);
    const QString title = ToQString(jobTitle);
    printer.setDocName(title);
    if (!ChooseOutput(printer, title + QStringLiteral(".pdf"))) return PrintOutcome::Cancelled;
    // The copy is laid out on the printer's pages and drawn page by page: QTextDocument::print would add
    // page numbers that the report does not have. The margin is the page's: the layout would scale a
    // document margin from the screen's resolution to the printer's.
    printer.setPageMargins(QMarginsF(kPrintMarginMm, kPrintMarginMm, kPrintMarginMm, kPrintMarginMm),
                           QPageLayout::Millimeter);
    const std::unique_ptr<QTextDocument> pages(document.clone());
    pages->documentLayout()->setPaintDevice(&printer);
    pages->setDocumentMargin(0);
    const QSizeF page = printer.pageRect(QPrinter::DevicePixel).size();
    pages->setPageSize(page);
    QPainter painter;
    // The device's refusal (a file that cannot be written, a printer that rejects the job) shows in the
    // painter that cannot begin, or in the printer's state afterwards.
    if (!painter.begin(&printer)) return PrintOutcome::Failed;
    for (int index = 0; index < pages->pageCount(); ++index) {
        if (index > 0) printer.newPage();
        const QRectF shown(QPointF(0, index * page.height()), page);
        painter.save();
        painter.translate(0, -shown.top());
        pages->drawContents(&painter, shown);
        painter.restore();
    }
    painter.end();
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
