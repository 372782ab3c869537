// The results window on results the program stored itself: three real-mode tests, one of each type, taken on
// three days, then browsed, sorted, filtered, printed and deleted as the administrator does.
#include <QAbstractItemModel>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QPrintPreviewWidget>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>
#include <string>

#include "app/controls/ColorButton.h"
#include "app/forms/zmain.h"
#include "db/widgets/DBGrid.h"
#include "db/widgets/DBMemoView.h"
#include "rtl/DateTime.h"
#include "tests/app/e2e/support/Driving.h"
#include "tests/app/e2e/support/ModalAnswers.h"
#include "tests/app/e2e/support/ScenarioTest.h"
#include "tests/app/e2e/support/ScreenRun.h"
#include "tests/support/ModalScript.h"
#include "tests/support/PdfText.h"
#include "tests/support/PrintDialogs.h"
#include "tests/support/WaitUntil.h"

namespace e2e {
namespace {

using testsupport::ModalScript;

template <class T>
T& Child(const QWidget& window, const char* name) {
    T* child = window.findChild<T*>(QLatin1String(name));
    if (child == nullptr) throw std::logic_error(std::string("no ") + name + " in " + window.objectName().toStdString());
    return *child;
}

db::widgets::TDBGrid& Grid(const QWidget& results) {
    return Child<db::widgets::TDBGrid>(results, "DBGrid1");
}

// The testee names of the grid's rows, top to bottom.
QStringList GridNames(const QWidget& results) {
    QAbstractItemModel& model = *Grid(results).model();
    QStringList names;
    for (int row = 0; row < model.rowCount(); ++row) names << model.data(model.index(row, 0)).toString();
    return names;
}

// A left click on the row's first cell, which makes its record the current one.
void ClickRow(const QWidget& results, int row) {
    db::widgets::TDBGrid& grid = Grid(results);
    QTest::mouseClick(grid.viewport(), Qt::LeftButton, Qt::NoModifier,
                      grid.visualRect(grid.model()->index(row, 0)).center());
}

// Chooses the item as a user does with the keyboard: the combo box focused, Up or Down until it shows.
void Choose(QComboBox& combo, const QString& item) {
    const int wanted = combo.findText(item);
    if (wanted < 0) throw std::logic_error("no item " + item.toStdString() + " in " + combo.objectName().toStdString());
    combo.setFocus(Qt::TabFocusReason);
    for (int guard = 0; combo.currentIndex() != wanted && guard < combo.count(); ++guard) {
        QTest::keyClick(&combo, combo.currentIndex() < wanted ? Qt::Key_Down : Qt::Key_Up);
    }
}

QComboBox& SortBox(const QWidget& results) {
    return Child<QComboBox>(results, "ComboBox1");
}

QComboBox& FilterBox(const QWidget& results) {
    return Child<QComboBox>(results, "ComboBox2");
}

db::widgets::TDBMemoView& ErrorPane(const QWidget& results) {
    return Child<db::widgets::TDBMemoView>(results, "DBRichEdit1");
}

QStringList Lines(const QString& text) {
    QString plain = text;
    plain.remove(QLatin1Char('\r'));
    return plain.split(QLatin1Char('\n'));
}

// The non-empty lines of a text, each with its runs of blanks made one: how a PDF's text compares with the
// lines printed into it.
QStringList PrintedLines(const QString& text) {
    QStringList lines;
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        if (!line.trimmed().isEmpty()) lines << line.simplified();
    }
    return lines;
}

QStringList PrintedLines(const QStringList& lines) {
    return PrintedLines(lines.join(QLatin1Char('\n')));
}

// For the failure messages.
std::vector<std::string> Std(const QStringList& list) {
    std::vector<std::string> strings;
    for (const QString& s : list) strings.push_back(s.toStdString());
    return strings;
}

// The three testees, each with the test type that makes every sort order of the window a different one.
const QString kAdams = QStringLiteral("Adams, Ann");  // alphanumeric, 12/09/26
const QString kBaker = QStringLiteral("Baker, Bo");   // numeric, 12/07/26
const QString kCole = QStringLiteral("Cole, Cy");     // alpha, 12/08/26

// The orders of the stored results: as stored (the tests' order), and under each sort item. Worked out from
// the rates below: KPH Cole 24, Adams 108, Baker 192; net KPH Cole 24, Baker 96, Adams 108; the dates.
const QStringList kNatural = {kAdams, kCole, kBaker};
const struct {
    const char* item;
    QStringList order;
} kSorts[] = {
    {"KPH", {kCole, kAdams, kBaker}},
    {"NetKPH", {kCole, kBaker, kAdams}},
    {"Date", {kBaker, kCole, kAdams}},
    {"Name", {kAdams, kBaker, kCole}},
};

class ResultsScenarioTest : public ScenarioTest {
protected:
    // A real-mode test from its menu command as the testee `first` `last`, keyed by `keying` and timed out at
    // `limitSeconds`: "Test is complete...", then the report's lines.
    QStringList TakeRealTest(const QString& command, const QString& screen, const QString& first,
                             const QString& last, const TScreenKeying& keying, int limitSeconds) {
        const TestRunSeen seen = TakeTest(Program().Clock(), {screen, true, first, last, keying, double(limitSeconds)},
                                          [&] { Trigger(Program().Main(), command); });
        EXPECT_EQ(seen.complete.text.toStdString(), "Test is complete...") << command.toStdString();
        return seen.report;
    }

    // Three real-mode tests of 5 minutes each (the setup's realtime), each timed out at its limit:
    //  - Adams, alphanumeric, Wednesday 12/09/26 from 11:00: the invoice keyed right and Enter: 9 keystrokes,
    //    no error; KPH 9 * 60 / 5 = 108, accuracy 100, net 108.
    //  - Cole, alpha, Tuesday 12/08/26 from 14:00: two right letters of the first name, no Enter: 2 keystrokes
    //    (the Enter of a last field shorter than its value does not count); KPH 24, accuracy 100, net 24.
    //  - Baker, numeric, Monday 12/07/26 from 9:30: field 1 right and Enter (6), field 2 with its last four
    //    digits wrong and Enter (6, 4 errors), field 3 its first four digits all wrong (4, 4 errors): 16
    //    keystrokes, 8 errors, 3 fields, 2 in error; KPH 192, accuracy 100 - 8 / 16 * 100 = 50, net 96.
    // The clock goes back a day for each, so that the order of storing is none of the sort orders.
    void TakeThreeTests() {
        ASSERT_EQ(StoredConfig().realtime, 5) << "the rates below are worked out for 5-minute tests";
        ASSERT_FALSE(StoredConfig().autoadvance) << "the keystrokes below count an Enter for each field";
        constexpr int kLimit = 5 * 60;
        Program().Clock().Set(rtl::EncodeDateTime(2026, 12, 9, 11, 0, 0, 0));
        TakeRealTest(QStringLiteral("Tests/Alphanumeric/Real"), kAlphanumericScreen, QStringLiteral("Ann"),
                     QStringLiteral("Adams"),
                     [](QWidget& screen) {
                         Type(SourceTexts(screen).at(0));
                         PressEnter();
                     },
                     kLimit);
        Program().Clock().Set(rtl::EncodeDateTime(2026, 12, 8, 14, 0, 0, 0));
        TakeRealTest(QStringLiteral("Tests/Alpha/Real"), kAlphaScreen, QStringLiteral("Cy"), QStringLiteral("Cole"),
                     [](QWidget& screen) {
                         const QString first = SourceTexts(screen).at(0);
                         ASSERT_GT(first.size(), 2) << "the alpha keystrokes need a first name of 3 letters or more";
                         Type(first.left(2));
                     },
                     kLimit);
        Program().Clock().Set(rtl::EncodeDateTime(2026, 12, 7, 9, 30, 0, 0));
        TakeRealTest(QStringLiteral("Tests/Numeric/Real"), kNumericScreen, QStringLiteral("Bo"), QStringLiteral("Baker"),
                     [this](QWidget& screen) {
                         const QStringList values = SourceTexts(screen);
                         ASSERT_EQ(values.at(1).size(), 5) << "the setup's width is 5";
                         ASSERT_EQ(values.at(2).size(), 5);
                         const QString second = AllWrongFrom(values.at(1), 1);
                         const QString third = AllWrongFrom(values.at(2).left(4), 0);
                         Type(values.at(0));
                         PressEnter();
                         Type(second);
                         PressEnter();
                         Type(third);
                         // The log runs from the last field keyed back to the first.
                         bakerLog_ = {"Record no.: 1, Field no.: 3, 4 errors. (Last field keyed)",
                                      "Keyed    >" + third,
                                      "On Record>" + values.at(2),
                                      "",
                                      "Record no.: 1, Field no.: 2, 4 errors.",
                                      "Keyed    >" + second,
                                      "On Record>" + values.at(1),
                                      ""};
                     },
                     kLimit);
        ASSERT_EQ(StoredResults().size(), 3u);
    }

    // The single-result report of Baker's stored result: the fields in their own text form.
    QStringList BakerReport() const {
        return QStringList{"Test Results",
                           "",
                           "Testee: Baker, Bo",
                           "Test date: 12/07/26",
                           "Real mode, test type: numeric",
                           "",
                           "Gross keystrokes per hour: 192",
                           "Net keystrokes per hour: 96",
                           "Accuracy: 50",
                           "Duration (minutes): 5",
                           "Total keystrokes: 16",
                           "Keystroke errors: 8",
                           "Total fields: 3",
                           "Total field errors: 2",
                           "",
                           "Error logging:",
                           "==============",
                           ""} +
               bakerLog_;
    }

    void OpenResults(const ModalScript::TAction& inside) {
        ModalScript script;
        script.Expect(kResultsWindow, inside);
        Trigger(Program().Main(), QStringLiteral("File/Results"));
        EXPECT_TRUE(script.WaitDone());
    }

    QStringList bakerLog_;
};

// The preset sort (the setting `sort`, 0: Name), each sort item, each filter item, and the error pane, which
// shows the log of the row clicked and hides and shows again on its button.
TEST_F(ResultsScenarioTest, TheThreeResultsAreListedSortedFilteredAndTheirErrorsFollowTheRow) {
    ASSERT_NO_FATAL_FAILURE(TakeThreeTests());
    ASSERT_EQ(StoredConfig().sort, 0);
    const std::vector<testsupport::StoredResult> stored = StoredResults();
    QStringList storedNames;
    for (const auto& result : stored) storedNames << QString::fromStdString(result.name);
    EXPECT_EQ(Std(storedNames), Std(kNatural));

    QStringList atOpening;
    QStringList sorted[std::size(kSorts)];
    QString sortShown;
    struct Filtered {
        const char* item;
        QStringList expected;
        QStringList shown;
    } filters[] = {
        {"Alphanumeric", {kAdams}, {}},
        {"Alpha", {kCole}, {}},
        {"Numeric", {kBaker}, {}},
        {"All results", {kAdams, kBaker, kCole}, {}},
    };
    QStringList paneOfBaker, paneOfAdams;
    QString paneAfterFilter;
    bool paneVisibleAtFirst = false, paneHidden = true, paneShownAgain = false;
    QString hiddenCaption, shownCaption;
    OpenResults([&](QWidget& results) {
        atOpening = GridNames(results);
        sortShown = SortBox(results).currentText();
        for (std::size_t i = 0; i < std::size(kSorts); ++i) {
            Choose(SortBox(results), QLatin1String(kSorts[i].item));
            sorted[i] = GridNames(results);
        }
        for (Filtered& filter : filters) {
            Choose(FilterBox(results), QLatin1String(filter.item));
            filter.shown = GridNames(results);
            if (QLatin1String(filter.item) == QLatin1String("Numeric")) paneAfterFilter = ErrorPane(results).toPlainText();
        }
        paneVisibleAtFirst = ErrorPane(results).isVisible();
        ClickRow(results, 1);
        paneOfBaker = Lines(ErrorPane(results).toPlainText());
        ClickRow(results, 0);
        paneOfAdams = Lines(ErrorPane(results).toPlainText());
        QWidget& view = Button(results, QStringLiteral("viewbtn"));
        Click(view);
        paneHidden = !ErrorPane(results).isVisible();
        hiddenCaption = static_cast<controls::TkvColorButton&>(view).Caption().join(' ');
        Click(view);
        paneShownAgain = ErrorPane(results).isVisible();
        shownCaption = static_cast<controls::TkvColorButton&>(view).Caption().join(' ');
        Click(Button(results, QStringLiteral("Close")));
    });
    EXPECT_EQ(sortShown.toStdString(), "Name");
    EXPECT_EQ(Std(atOpening), Std({kAdams, kBaker, kCole}));
    for (std::size_t i = 0; i < std::size(kSorts); ++i) EXPECT_EQ(Std(sorted[i]), Std(kSorts[i].order)) << kSorts[i].item;
    for (const Filtered& filter : filters) EXPECT_EQ(Std(filter.shown), Std(filter.expected)) << filter.item;
    EXPECT_EQ(Std(Lines(paneAfterFilter)), Std(bakerLog_));
    EXPECT_TRUE(paneVisibleAtFirst);
    EXPECT_EQ(Std(paneOfBaker), Std(bakerLog_));
    EXPECT_EQ(Std(paneOfAdams), Std({""}));
    EXPECT_TRUE(paneHidden);
    EXPECT_EQ(hiddenCaption.toStdString(), "View errors");
    EXPECT_TRUE(paneShownAgain);
    EXPECT_EQ(shownCaption.toStdString(), "Hide errors");
}

// "Print" on Baker's row, days later, shows his stored result with its own date; its Print, on the file the
// dialog proposes, writes those lines into a PDF. "Print all" in KPH order previews the list, and Qt's print
// dialog on its PDF printer writes one page with the three rows in that order, formatted.
TEST_F(ResultsScenarioTest, PrintShowsTheStoredResultAndPrintAllWritesTheList) {
    ASSERT_NO_FATAL_FAILURE(TakeThreeTests());
    Program().Clock().Set(rtl::EncodeDateTime(2026, 12, 14, 16, 0, 0, 0));
    QStringList shown;
    QString fileCaption;
    int previewPages = 0;
    QString printer;
    ModalScript script(5000);
    script
        .Expect(kResultsWindow,
                [&](QWidget& results) {
                    ClickRow(results, 1);
                    Click(Button(results, QStringLiteral("Print")));
                    Choose(SortBox(results), QStringLiteral("KPH"));
                    Click(Button(results, QStringLiteral("Print all")));
                    Click(Button(results, QStringLiteral("Close")));
                })
        .Expect(kReportWindow,
                [&](QWidget& report) {
                    shown = ReportLines(report);
                    PressButton(QStringLiteral("BitBtn2"))(report);
                    PressButton(QStringLiteral("BitBtn1"))(report);
                })
        .Expect(QStringLiteral("QFileDialog"),
                [&](QWidget& dialog) {
                    // The proposed file, taken with Enter.
                    fileCaption = dialog.windowTitle();
                    QTest::keyClick(&Child<QLineEdit>(dialog, "fileNameEdit"), Qt::Key_Return);
                })
        .Expect(kPreview,
                [&](QWidget& preview) {
                    previewPages = Child<QPrintPreviewWidget>(preview, "").pageCount();
                    testsupport::TriggerPreviewPrint(preview);
                })
        .Expect(QStringLiteral("QPrintDialog"), [&](QWidget& dialog) {
            printer = testsupport::PrintDialogPrinter(dialog);
            static_cast<QDialog&>(dialog).accept();
        });
    Trigger(Program().Main(), QStringLiteral("File/Results"));
    EXPECT_TRUE(script.WaitDone());

    EXPECT_EQ(Std(shown), Std(BakerReport()));
    EXPECT_EQ(fileCaption.toStdString(), "Save as PDF");
    const QString reportPdf = Dir().WorkDir() + QStringLiteral("/Test results.pdf");
    const QStringList reportPages = testsupport::PdfPages(testsupport::PdfText(reportPdf));
    ASSERT_EQ(reportPages.size(), 1) << reportPdf.toStdString();
    // The report's lines and nothing below them: no page number.
    EXPECT_EQ(Std(PrintedLines(reportPages.first())), Std(PrintedLines(BakerReport())));

    EXPECT_EQ(previewPages, 1);
    EXPECT_EQ(printer.toStdString(), "Print to File (PDF)");
    const QString listPdf = Dir().WorkDir() + QStringLiteral("/Data entry test results.pdf");
    const QStringList listPages = testsupport::PdfPages(testsupport::PdfText(listPdf));
    ASSERT_EQ(listPages.size(), 1) << listPdf.toStdString();
    EXPECT_EQ(Std(PrintedLines(listPages.first())),
              Std({"Data entry test results",
                           "Testee KPH Net KPH Accuracy Ttl KS Ttl flds Ttl ks err Ttl fld err Duration Test type "
                           "Test date Time",
                           "Cole, Cy 24.00 24.00 100.00 2 1 0 0 5.00 alpha 12/08/26 2:05:00 PM",
                           "Adams, Ann 108.00 108.00 100.00 9 1 0 0 5.00 alphanumeric 12/09/26 11:05:00 AM",
                           "Baker, Bo 192.00 96.00 50.00 16 3 8 2 5.00 numeric 12/07/26 9:35:00 AM"}));
}

// The navigator's delete on Cole's row asks, then removes that result only; "Delete all", confirmed,
// empties the table and the grid, and the window stays open.
TEST_F(ResultsScenarioTest, NavigatorDeleteRemovesOneAndDeleteAllEmptiesTheTable) {
    ASSERT_NO_FATAL_FAILURE(TakeThreeTests());
    SeenBox deleteOne, deleteAll;
    QStringList afterOne, storedAfterOne, afterAll;
    bool stillOpen = false;
    ModalScript script;
    script
        .Expect(kResultsWindow,
                [&](QWidget& results) {
                    ClickRow(results, 2);
                    QTest::mouseClick(&Child<QWidget>(results, "nbDelete"), Qt::LeftButton);
                    afterOne = GridNames(results);
                    for (const auto& result : StoredResults()) storedAfterOne << QString::fromStdString(result.name);
                    Click(Button(results, QStringLiteral("Delete all")));
                    afterAll = GridNames(results);
                    stillOpen = results.isVisible();
                    Click(Button(results, QStringLiteral("Close")));
                })
        .Expect(kMessageBox, AnswerBox(&deleteOne, QMessageBox::Yes))
        .Expect(kMessageBox, AnswerBox(&deleteAll, QMessageBox::Yes));
    Trigger(Program().Main(), QStringLiteral("File/Results"));
    EXPECT_TRUE(script.WaitDone());
    EXPECT_EQ(deleteOne.text.toStdString(), "Delete record?");
    EXPECT_EQ(Std(afterOne), Std({kAdams, kBaker}));
    EXPECT_EQ(Std(storedAfterOne), Std({kAdams, kBaker}));
    EXPECT_EQ(deleteAll.text.toStdString(), "Do you really wish to delete ALL test results?");
    EXPECT_EQ(deleteAll.title.toStdString(), "Confirm");
    EXPECT_TRUE(afterAll.isEmpty());
    EXPECT_TRUE(stillOpen);
    EXPECT_TRUE(StoredResults().empty());
}

// A results.DAT whose header gives a record size of 0: the engine's message when the window opens, the
// window closes with it, as a test screen does, and the program goes on (the settings open on config.dat's
// values).
TEST_F(ResultsScenarioTest, ADamagedResultsHeaderShowsTheEnginesMessageAndTheWindowCloses) {
    SkipTableCheck(QStringLiteral("results"));
    {
        QFile file(Dir().ProgramFile(QStringLiteral("results.DAT")));
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        // The record size, a 16-bit number at offset 21 of the header.
        ASSERT_TRUE(file.seek(21));
        ASSERT_EQ(file.write(QByteArray(2, '\0')), 2);
    }
    SeenBox box;
    {
        ModalScript script;
        script.Expect(kMessageBox, AnswerBox(&box));
        Trigger(Program().Main(), QStringLiteral("File/Results"));
        EXPECT_TRUE(script.WaitDone());
    }
    EXPECT_TRUE(testsupport::waitUntil(
        [this] { return !Program().Form<QWidget>(app::FormSlot::resultsForm).isVisible(); }));
    QString realtime;
    ModalScript script;
    script.Expect(kSettingsDialog, [&](QWidget& settings) {
        realtime = Child<QLineEdit>(settings, "DBEdit1").text();
        PressButton(QStringLiteral("Button2"))(settings);
    });
    Trigger(Program().Main(), QStringLiteral("Admin/Settings"));
    EXPECT_TRUE(script.WaitDone());
    EXPECT_EQ(box.title.toStdString(), "Keyvale");
    // The engine's message for its code 8961 on the file it opened, with the stop box's full stop.
    EXPECT_EQ(box.text.toStdString(), "TARNIS Engine Error # 8961 Header information corrupt in data file " +
                                          Dir().ProgramFile(QStringLiteral("results.DAT")).toStdString() + ".");
    EXPECT_EQ(realtime.toStdString(), std::to_string(StoredConfig().realtime));
}

// The report's Print with the file choice cancelled: no message, no file anywhere, the report stays open.
TEST_F(ResultsScenarioTest, ACancelledPdfFileChoiceWritesNothing) {
    ASSERT_EQ(StoredConfig().realtime, 5);
    TakeRealTest(QStringLiteral("Tests/Alpha/Real"), kAlphaScreen, QStringLiteral("Cy"), QStringLiteral("Cole"),
                 [](QWidget& screen) { Type(SourceTexts(screen).at(0).left(2)); },
                 5 * 60);
    bool reportStaysOpen = false;
    ModalScript script;
    script.Expect(kResultsWindow,
                  [&](QWidget& results) {
                      Click(Button(results, QStringLiteral("Print")));
                      Click(Button(results, QStringLiteral("Close")));
                  })
        .Expect(kReportWindow,
                [&](QWidget& report) {
                    PressButton(QStringLiteral("BitBtn2"))(report);
                    reportStaysOpen = report.isVisible();
                    PressButton(QStringLiteral("BitBtn1"))(report);
                })
        .Expect(QStringLiteral("QFileDialog"), [](QWidget& dialog) { static_cast<QDialog&>(dialog).reject(); });
    Trigger(Program().Main(), QStringLiteral("File/Results"));
    EXPECT_TRUE(script.WaitDone());
    EXPECT_TRUE(reportStaysOpen);
    QStringList pdfs;
    for (QDirIterator files(Dir().Root(), {QStringLiteral("*.pdf")}, QDir::Files, QDirIterator::Subdirectories);
         files.hasNext();) {
        pdfs << files.next();
    }
    EXPECT_TRUE(pdfs.isEmpty()) << pdfs.join(' ').toStdString();
    EXPECT_TRUE(QDir(Dir().WorkDir()).isEmpty());
}

}  // namespace
}  // namespace e2e
