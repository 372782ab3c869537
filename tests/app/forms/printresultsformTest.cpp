#include "app/forms/printresultsform.h"

#include <QDialog>
#include <QDir>
#include <QFile>
#include <QPrintPreviewWidget>

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "app/core/Texts.h"
#include "app/services/QtPrintService.h"
#include "rtl/FormatSettings.h"
#include "tests/app/forms/ResultsWindowFixture.h"
#include "tests/app/report/PlacedTexts.h"
#include "tests/support/ModalScript.h"
#include "tests/support/PdfText.h"
#include "tests/support/PrintDialogs.h"

namespace app {
namespace {

using report::TAlignment;
using report::TBandKind;
using report::TLaidOutPage;

// Rows of the list's first page: (7.5 - 0.4 - 0.25) / 0.2 inches.
constexpr int kFirstPageRows = 34;

// "Testee 01" for 1: the names sort as their numbers.
std::string TesteeName(int number) {
    return std::string(number < 10 ? "Testee 0" : "Testee ") + std::to_string(number);
}

// `count` results named "Testee 01" .. in that order of their names, alpha and numeric in turn.
std::vector<testsupport::StoredResult> NamedResults(int count) {
    std::vector<testsupport::StoredResult> results(count);
    for (int i = 0; i < count; ++i) {
        results[i].name = TesteeName(i + 1);
        results[i].testtype = i % 2 == 0 ? "alpha" : "numeric";
        results[i].kph = 12345.6;
    }
    return results;
}

using reporttest::Texts;

std::vector<std::string> Names(const std::vector<TLaidOutPage>& pages) {
    return reporttest::DetailTexts(pages, "Testee ");
}

const std::vector<std::string> kHeaders(kListHeaders.begin(), kListHeaders.end());

class PrintResultsFormTest : public testsupport::ResultsWindowFixture {};

TEST_F(PrintResultsFormTest, CreatingItSetsTheShortDateFormat) {
    rtl::CurrentFormatSettings().ShortDateFormat = "M/d/yyyy";
    Install({});
    EXPECT_EQ(rtl::CurrentFormatSettings().ShortDateFormat, "mm/dd/yy");
}

TEST_F(PrintResultsFormTest, NoRecordsGiveOnePageWithTheTitleAndTheHeaders) {
    Install({});
    Show(0);
    const auto pages = List().LayOut(List().Report1.PageLayout());
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(Texts(pages[0], TBandKind::Title), std::vector<std::string>{"Data entry test results"});
    EXPECT_EQ(Texts(pages[0], TBandKind::ColumnHeader), kHeaders);
    EXPECT_TRUE(Texts(pages[0], TBandKind::Detail).empty());
}

// Two pages of a filtered, sorted view: every record once, in order, with its values formatted.
TEST_F(PrintResultsFormTest, TwoPagesFollowTheWindowsOrderAndFilter) {
    Install(NamedResults(2 * (kFirstPageRows + 4)));
    Show(0);
    Pick(Window().ComboBox2(), 2);  // alpha: the odd testees
    Window().resultsdb.MoveBy(5);
    const std::string current = Current("NAME");
    const QPageLayout layout = List().Report1.PageLayout();
    const auto pages = List().LayOut(layout);
    ASSERT_EQ(pages.size(), 2u);
    EXPECT_EQ(Texts(pages[0], TBandKind::Title).size(), 1u);
    EXPECT_TRUE(Texts(pages[1], TBandKind::Title).empty());
    EXPECT_EQ(Texts(pages[1], TBandKind::ColumnHeader), kHeaders);
    std::vector<std::string> expected;
    for (int i = 1; i <= 2 * (kFirstPageRows + 4); i += 2) {
        expected.push_back(TesteeName(i));
    }
    EXPECT_EQ(Names(pages), expected);
    const std::vector<std::string> row = Texts(pages[0], TBandKind::Detail);
    ASSERT_GE(row.size(), 12u);
    EXPECT_EQ(row[1], "12,345.60");  // KPH
    EXPECT_EQ(row[2], "3,528.00");   // NKPH
    EXPECT_EQ(row[3], "98.00");      // ACCURACY
    EXPECT_EQ(row[4], "300");
    EXPECT_EQ(row[8], "5.00");  // TIME, the duration
    EXPECT_EQ(row[9], "alpha");
    EXPECT_EQ(row[10], "01/10/24");
    EXPECT_EQ(row[11], "9:15:00 AM");
    const QRectF area = layout.paintRect(QPageLayout::Inch);
    for (const auto& page : pages) {
        for (std::size_t i = 0; i < page.texts.size(); ++i) {
            const auto& text = page.texts[i];
            EXPECT_TRUE(area.contains(text.rect.adjusted(1e-9, 1e-9, -1e-9, -1e-9))) << text.text;
        }
        for (const auto& band : {TBandKind::ColumnHeader, TBandKind::Detail}) {
            std::vector<TAlignment> alignments;
            for (const auto& text : page.texts) {
                if (text.band == band) alignments.push_back(text.alignment);
            }
            for (std::size_t i = 0; i < alignments.size(); ++i) {
                const std::size_t column = i % 12;
                const bool numeric = column >= 1 && column <= 8;
                EXPECT_EQ(alignments[i], numeric ? TAlignment::Right : TAlignment::Left) << column;
            }
        }
    }
    EXPECT_EQ(Current("NAME"), current);
}

// A duration of many decimals prints with two, whole within its column; the table keeps its value.
TEST_F(PrintResultsFormTest, TheDurationPrintsWithTwoDecimals) {
    std::vector<testsupport::StoredResult> results = NamedResults(1);
    results[0].time = 1.01477469158333;
    results[0].kph = 945.426723753255;
    Install(results);
    Show(0);
    const auto pages = List().LayOut(List().Report1.PageLayout());
    ASSERT_EQ(pages.size(), 1u);
    const std::vector<std::string> row = Texts(pages[0], TBandKind::Detail);
    ASSERT_GE(row.size(), 12u);
    EXPECT_EQ(row[1], "945.43");
    EXPECT_EQ(row[8], "1.01");
    EXPECT_EQ(Window().resultsdb.FieldByName("TIME").AsFloat(), 1.01477469158333);
}

// Print all through the real service: the preview on Letter landscape with the layout's pages; its Print
// brings Qt's print dialog on its PDF printer, and accepting writes the list there.
TEST_F(PrintResultsFormTest, PrintAllPreviewsAndPrintsTheTwoPageListIntoAPdf) {
    QtPrintService service;
    Install(NamedResults(kFirstPageRows + 4), &service);
    Show(0);
    int pages = 0;
    QPageLayout::Orientation orientation = QPageLayout::Portrait;
    QString printer;
    testsupport::ModalScript script;
    script.Expect("QPrintPreviewDialog", [&](QWidget& modal) {
        if (auto* preview = modal.findChild<QPrintPreviewWidget*>()) {
            pages = preview->pageCount();
            orientation = preview->orientation();
        }
        testsupport::TriggerPreviewPrint(modal);
    }).Expect("QPrintDialog", [&](QWidget& modal) {
        printer = testsupport::PrintDialogPrinter(modal);
        static_cast<QDialog&>(modal).accept();
    });
    emit Window().Button("kvColorButton3").clicked();
    EXPECT_TRUE(script.WaitDone());
    EXPECT_EQ(pages, 2);
    EXPECT_EQ(orientation, QPageLayout::Landscape);
    EXPECT_EQ(printer, "Print to File (PDF)");
    const QString file = QDir::current().filePath("Data entry test results.pdf");
    QFile pdf(file);
    ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
    EXPECT_TRUE(pdf.read(5) == "%PDF-");
    const QString text = testsupport::PdfText(file);
    EXPECT_EQ(testsupport::PdfPages(text).size(), 2);
    EXPECT_EQ(text.count("Data entry test results"), 1);
    EXPECT_EQ(text.count("Ttl fld err"), 2);
    EXPECT_EQ(text.count("Net KPH"), 2);
    for (const std::string& name : Names(List().LayOut(List().Report1.PageLayout()))) {
        EXPECT_EQ(text.count(QString::fromStdString(name)), 1) << name;
    }
    EXPECT_TRUE(messages.Boxes().empty());
}

TEST_F(PrintResultsFormTest, ClosingThePreviewWithoutPrintingWritesNothing) {
    QtPrintService service;
    Install(NamedResults(3), &service);
    Show(0);
    testsupport::ModalScript script;
    script.Expect("QPrintPreviewDialog", [](QWidget& modal) { static_cast<QDialog&>(modal).reject(); });
    emit Window().Button("kvColorButton3").clicked();
    EXPECT_TRUE(script.WaitDone());
    EXPECT_TRUE(QDir::current().entryList(QDir::Files).isEmpty());
    EXPECT_TRUE(messages.Boxes().empty());
}

}  // namespace
}  // namespace app
