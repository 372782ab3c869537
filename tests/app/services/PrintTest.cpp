#include "app/services/QtPrintService.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>

#include <gtest/gtest.h>

#include "app/services/HelpContext.h"
#include "tests/support/AppFixture.h"
#include "tests/support/ModalScript.h"
#include "tests/support/PdfText.h"
#include "tests/support/PrintDialogs.h"

namespace app {
namespace {

using testsupport::ModalScript;

QByteArray ReadFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.readAll();
}

// A title as a PDF's information dictionary holds it: UTF-16, high byte first, after a byte-order mark,
// with the string delimiters escaped.
QByteArray PdfTitle(const QString& title) {
    QByteArray bytes("(\xFE\xFF");
    for (const QChar c : title) {
        for (const char part : {char(c.unicode() >> 8), char(c.unicode() & 0xFF)}) {
            if (part == '(' || part == ')' || part == '\\') bytes.append('\\');
            bytes.append(part);
        }
    }
    return bytes.append(')');
}

int PageCount(const QByteArray& pdf) {
    return static_cast<int>(pdf.count("/Type /Page\n") + pdf.count("/Type /Page ") +
                            pdf.count("/Type /Page/"));
}

// Three pages, each with its number.
bool RenderThreePages(QPagedPaintDevice& device, int* rendered = nullptr) {
    QPainter painter(&device);
    for (int page = 1; page <= 3; ++page) {
        if (page > 1) device.newPage();
        painter.drawText(100, 100, QStringLiteral("Page %1").arg(page));
        if (rendered != nullptr) ++*rendered;
    }
    return painter.end();
}

QPageLayout Landscape() {
    return QPageLayout(QPageSize(QPageSize::Letter), QPageLayout::Landscape,
                       QMarginsF(12.7, 12.7, 12.7, 12.7), QPageLayout::Millimeter);
}

class PrintTest : public testsupport::AppFixture {};

TEST_F(PrintTest, TheDoubleWritesPdfFilesTitledWithTheJob) {
    QTextDocument document(QStringLiteral("Test Results"));
    print.PrintDocument(document, "Test results");
    EXPECT_EQ(print.Preview("Data entry test results", 5000, Landscape(),
                            [](QPagedPaintDevice& d) { return RenderThreePages(d); }),
              PrintOutcome::Printed);
    ASSERT_EQ(print.Jobs().size(), 2u);
    const QByteArray printed = ReadFile(print.Jobs()[0].file);
    EXPECT_TRUE(printed.startsWith("%PDF-"));
    EXPECT_TRUE(printed.contains(PdfTitle("Test results")));
    const QByteArray previewed = ReadFile(print.Jobs()[1].file);
    EXPECT_TRUE(previewed.startsWith("%PDF-"));
    EXPECT_TRUE(previewed.contains(PdfTitle("Data entry test results")));
    EXPECT_EQ(PageCount(previewed), 3);
    EXPECT_TRUE(print.Jobs()[1].preview);
}

// In the tests the real service takes its PDF road: the user names the file.
TEST_F(PrintTest, TheRealServicePrintsIntoThePdfTheUserNames) {
    ASSERT_TRUE(QtPrintService::PrintToPdf());
    QTemporaryDir directory;
    const QString path = directory.filePath("report.pdf");
    QString caption;
    ModalScript script;
    script.Expect("QFileDialog", [&](QWidget& modal) {
        auto& dialog = static_cast<QFileDialog&>(modal);
        caption = dialog.windowTitle();
        // As the user does: the file's name typed into the dialog's name field, then Enter.
        auto* name = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        ASSERT_NE(name, nullptr);
        name->setText(path);
        QTest::keyClick(name, Qt::Key_Return);
    });
    QtPrintService service;
    QTextDocument document(QStringLiteral("Test Results"));
    service.PrintDocument(document, "Test results");
    EXPECT_EQ(caption, QStringLiteral("Save as PDF"));
    const QByteArray pdf = ReadFile(path);
    EXPECT_TRUE(pdf.startsWith("%PDF-"));
    EXPECT_TRUE(pdf.contains(PdfTitle("Test results")));
    // The report's own text and nothing else: no page number under it.
    EXPECT_EQ(testsupport::PdfText(path).trimmed(), QStringLiteral("Test Results"));
}

TEST_F(PrintTest, CancellingTheFileDialogPrintsNothing) {
    ModalScript script;
    script.Expect("QFileDialog", [](QWidget& modal) { static_cast<QFileDialog&>(modal).reject(); });
    QtPrintService service;
    QTextDocument document(QStringLiteral("Test Results"));
    service.PrintDocument(document, "Test results");
    EXPECT_TRUE(script.Done());
    EXPECT_TRUE(QDir::current().entryList(QDir::Files).isEmpty());
}

// Closed without printing: the pages were shown, and nothing is written.
TEST_F(PrintTest, ThePreviewRendersEveryPageAndClosingItPrintsNothing) {
    int rendered = 0;
    int pages = 0;
    int help = 0;
    QString title;
    ModalScript script;
    script.Expect("QPrintPreviewDialog", [&](QWidget& modal) {
        title = modal.windowTitle();
        help = HelpContextOf(modal);
        if (auto* preview = modal.findChild<QPrintPreviewWidget*>()) pages = preview->pageCount();
        static_cast<QDialog&>(modal).reject();
    });
    QtPrintService service;
    const PrintOutcome outcome = service.Preview(
        "Data entry test results", 5000, Landscape(),
        [&](QPagedPaintDevice& device) { return RenderThreePages(device, &rendered); });
    EXPECT_EQ(outcome, PrintOutcome::Cancelled);
    EXPECT_GE(rendered, 3);
    EXPECT_EQ(pages, 3);
    EXPECT_EQ(help, 5000);
    EXPECT_EQ(title, QStringLiteral("Data entry test results"));
    EXPECT_TRUE(QDir::current().entryList(QDir::Files).isEmpty());
}

// The preview's Print: Qt's print dialog on its PDF printer with the title's file; accepting prints there.
TEST_F(PrintTest, PrintingFromThePreviewWritesTheProposedPdf) {
    QString printer;
    ModalScript script;
    script.Expect("QPrintPreviewDialog", [](QWidget& modal) { testsupport::TriggerPreviewPrint(modal); })
        .Expect("QPrintDialog", [&](QWidget& modal) {
            printer = testsupport::PrintDialogPrinter(modal);
            static_cast<QDialog&>(modal).accept();
        });
    QtPrintService service;
    const PrintOutcome outcome = service.Preview("Data entry test results", 5000, Landscape(),
                                                 [](QPagedPaintDevice& device) { return RenderThreePages(device); });
    EXPECT_TRUE(script.WaitDone());
    EXPECT_EQ(outcome, PrintOutcome::Printed);
    EXPECT_EQ(printer, QStringLiteral("Print to File (PDF)"));
    const QByteArray pdf = ReadFile(QDir::current().filePath(QStringLiteral("Data entry test results.pdf")));
    EXPECT_TRUE(pdf.startsWith("%PDF-"));
    EXPECT_EQ(PageCount(pdf), 3);
}

// Pages the device refuses while printing: the outcome says so.
TEST_F(PrintTest, ARefusedPrintFromThePreviewFails) {
    ModalScript script;
    script.Expect("QPrintPreviewDialog", [](QWidget& modal) { testsupport::TriggerPreviewPrint(modal); })
        .Expect("QPrintDialog", [](QWidget& modal) { static_cast<QDialog&>(modal).accept(); });
    QtPrintService service;
    int calls = 0;
    const PrintOutcome outcome = service.Preview("Data entry test results", 5000, Landscape(),
                                                 [&calls](QPagedPaintDevice& device) {
                                                     // The preview's own paint succeeds; the print's does not.
                                                     ++calls;
                                                     return RenderThreePages(device) && calls == 1;
                                                 });
    EXPECT_TRUE(script.WaitDone());
    EXPECT_EQ(outcome, PrintOutcome::Failed);
}

}  // namespace
}  // namespace app
