#include "app/forms/showitForm.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFontInfo>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/forms/FormRegistry.h"
#include "app/program/Program.h"
#include "app/services/QtPrintService.h"
#include "tests/support/AppFixture.h"
#include "tests/support/ModalScript.h"

namespace app {
namespace {

using testsupport::Box;
using testsupport::BoxKind;
using testsupport::ModalScript;

const std::vector<std::string> kReport = {
    "Test Results",
    "",
    "Test date: 01/15/24",
    "Testee name: Smith, Ann",
    "Test type: Alpha, real mode",
    "",
    "Gross keystrokes per hour: 3600.00",
    "Record no.: 2, Field no.: 1, 2 errors. (Last field keyed)",
    "Keyed    >JOX",
    "On Record>JOHN",
    "",
};

// The text pdftotext reads from the file.
QString PdfText(const QString& path) {
    QProcess process;
    process.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), path, QStringLiteral("-")});
    if (!process.waitForFinished(10000) || process.exitCode() != 0) return {};
    return QString::fromUtf8(process.readAllStandardOutput());
}

QByteArray Head(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.read(5);
}

// Types the file's path into the save dialog and accepts it, as the user does.
ModalScript::TAction SaveAs(const QString& path, QString* proposed = nullptr) {
    return [path, proposed](QWidget& modal) {
        auto* name = modal.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        ASSERT_NE(name, nullptr);
        if (proposed != nullptr) *proposed = name->text();
        name->setText(path);
        QTest::keyClick(name, Qt::Key_Return);
    };
}

class showitFormTest : public testsupport::AppFixture {
protected:
    QtPrintService printer;  // the real service; the tests' switch sends it the PDF way
    TshowitForm form{messages, printer};
};

TEST_F(showitFormTest, AReadOnlyFixedPitchWindowWithCloseAndPrint) {
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Test Results"));
    EXPECT_EQ(form.HelpContext(), 1000);
    EXPECT_TRUE(form.RichEdit1().isReadOnly());
    EXPECT_EQ(form.RichEdit1().lineWrapMode(), QPlainTextEdit::NoWrap);
    EXPECT_EQ(form.RichEdit1().horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_EQ(form.RichEdit1().verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_TRUE(QFontInfo(form.RichEdit1().font()).fixedPitch());
    EXPECT_EQ(form.BitBtn1().text(), QStringLiteral("Close"));
    EXPECT_EQ(form.BitBtn2().text(), QStringLiteral("Print"));
}

// Courier as the machine has it: the face its font configuration gives for the name (a metric-compatible
// one where Courier itself is missing), not some other fixed-pitch face, whenever that face is fixed-pitch.
TEST_F(showitFormTest, TheReportIsInTheFaceTheMachineGivesCourier) {
    const QFontInfo courier(QFont(QStringLiteral("Courier")));
    if (!courier.fixedPitch()) GTEST_SKIP() << "this machine's Courier, " << courier.family().toStdString()
                                            << ", is not fixed-pitch";
    EXPECT_EQ(QFontInfo(form.RichEdit1().font()).family().toStdString(), courier.family().toStdString());
}

TEST_F(showitFormTest, LinesAreReplacedNotAdded) {
    form.SetLines({"old", "lines", "here"});
    form.SetLines(kReport);
    EXPECT_EQ(form.Lines(), kReport);
    // Windows-1252 bytes survive the round trip.
    form.SetLines({"M\xFCller, \xC9mile"});
    EXPECT_EQ(form.Lines(), std::vector<std::string>{"M\xFCller, \xC9mile"});
}

TEST_F(showitFormTest, CloseEndsTheModalWindow) {
    form.SetLines(kReport);
    ModalScript script;
    script.Expect("app::TshowitForm", [this](QWidget&) { form.BitBtn1().click(); });
    form.exec();
    EXPECT_TRUE(script.Done());
    EXPECT_FALSE(form.isVisible());
}

TEST_F(showitFormTest, PrintWritesTheReportIntoThePdfTheUserNames) {
    form.SetLines(kReport);
    const QString path = QDir::current().filePath(QStringLiteral("report.pdf"));
    QString proposed;
    ModalScript script;
    script.Expect("QFileDialog", SaveAs(path, &proposed));
    form.BitBtn2().click();
    EXPECT_TRUE(script.Done());
    EXPECT_EQ(proposed, QStringLiteral("Test results.pdf"));
    EXPECT_EQ(Head(path), QByteArray("%PDF-"));
    const QString text = PdfText(path);
    for (const std::string& line : kReport) {
        if (!line.empty()) {
            EXPECT_TRUE(text.contains(QString::fromStdString(line))) << line;
        }
    }
    EXPECT_TRUE(messages.Boxes().empty());
}

TEST_F(showitFormTest, ACancelledSaveDialogWritesAndShowsNothing) {
    form.SetLines(kReport);
    ModalScript script;
    script.Expect("QFileDialog", [](QWidget& modal) { static_cast<QFileDialog&>(modal).reject(); });
    form.BitBtn2().click();
    EXPECT_TRUE(script.Done());
    EXPECT_TRUE(QDir::current().entryList(QDir::Files).isEmpty());
    EXPECT_TRUE(messages.Boxes().empty());
}

TEST_F(showitFormTest, AFileThatCannotBeWrittenGivesTheErrorBoxOnce) {
    form.SetLines(kReport);
    const QString path = QDir::current().filePath(QStringLiteral("missing-folder/report.pdf"));
    ModalScript script;
    script.Expect("QFileDialog", SaveAs(path));
    form.BitBtn2().click();
    EXPECT_TRUE(script.Done());
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_EQ(messages.Boxes(), (std::vector<Box>{{BoxKind::Error, "Error", "Printing failed."}}));
}

TEST_F(showitFormTest, TheServicesOutcomes) {
    QTextDocument document(QStringLiteral("Test Results"));
    ModalScript script;
    script.Expect("QFileDialog", [](QWidget& modal) { static_cast<QFileDialog&>(modal).reject(); });
    EXPECT_EQ(printer.PrintDocument(document, "Test results"), PrintOutcome::Cancelled);
    ModalScript bad;
    bad.Expect("QFileDialog", SaveAs(QDir::current().filePath(QStringLiteral("no/such/dir.pdf"))));
    EXPECT_EQ(printer.PrintDocument(document, "Test results"), PrintOutcome::Failed);
    ModalScript good;
    good.Expect("QFileDialog", SaveAs(QDir::current().filePath(QStringLiteral("ok.pdf"))));
    EXPECT_EQ(printer.PrintDocument(document, "Test results"), PrintOutcome::Printed);
}

TEST_F(showitFormTest, TheProgramRegistersTheWindowInItsSlot) {
    FormRegistry forms;
    RegisterForms(forms, Runtime(), View());
    forms.CreateAll();
    auto* registered = forms.Get<TshowitForm>(FormSlot::showitForm);
    ASSERT_NE(registered, nullptr);
    // The program's window prints through the program's service: here the fixture's double.
    registered->SetLines(kReport);
    registered->BitBtn2().click();
    ASSERT_EQ(print.Jobs().size(), 1u);
    EXPECT_EQ(print.Jobs()[0].title, "Test results");
    forms.DestroyAll();
}

}  // namespace
}  // namespace app
