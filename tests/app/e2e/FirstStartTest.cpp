// First start: an empty directory, keyvale-setup, then the program, as a newcomer meets it.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QStatusBar>

#include <gtest/gtest.h>

#include "app/controls/KvClock.h"
#include "app/forms/zmain.h"
#include "tests/app/e2e/support/Driving.h"
#include "tests/app/e2e/support/ModalAnswers.h"
#include "tests/app/e2e/support/ScenarioTest.h"
#include "tests/support/ModalScript.h"
#include "tests/support/PdfText.h"
#include "tests/support/PrintDialogs.h"
#include "tests/support/WaitUntil.h"

namespace e2e {
namespace {

using testsupport::ModalScript;

class FirstStartTest : public ScenarioTest {};

template <class T>
T& Child(const QWidget& window, const char* name) {
    T* child = window.findChild<T*>(QLatin1String(name));
    if (child == nullptr) throw std::logic_error(std::string("no ") + name);
    return *child;
}

TEST_F(FirstStartTest, TheMainWindowShowsTheClockFromAnotherWorkingDirectory) {
    app::Tzmain& main = Program().Main();
    EXPECT_TRUE(main.isVisible());
    EXPECT_EQ(main.windowTitle(), "Keyvale");
    EXPECT_EQ(QDir::currentPath(), Dir().WorkDir());
    EXPECT_NE(QDir::currentPath() + '/', Dir().ProgramDir());
    // The program's directory holds what keyvale-setup made and the help file; the working one stays empty.
    for (const char* file : {"config.DAT", "results.DAT", "invsort.DAT", "numeric.DAT", "marlo.hlp"}) {
        EXPECT_TRUE(QFileInfo::exists(Dir().ProgramFile(QLatin1String(file)))) << file;
    }
    // The fake clock's 9:30 in twelve-hour form, then its move.
    controls::TKvClock& clock = main.KvClock1();
    EXPECT_TRUE(testsupport::waitUntil([&] { return clock.Face().text == "9:30:00 AM"; })) << clock.Face().text;
    AdvanceClock(Program().Clock(), 4 * 3600 + 5);
    EXPECT_TRUE(testsupport::waitUntil([&] { return clock.Face().text == "1:30:05 PM"; })) << clock.Face().text;
    EXPECT_TRUE(QDir(Dir().WorkDir()).isEmpty());
}

// With no password set, Admin, Settings shows config.dat's record as keyvale-setup wrote it, without a
// prompt; Cancel leaves it as it was.
TEST_F(FirstStartTest, SettingsOpensWithNoPromptOnTheSetupsValues) {
    const testsupport::ConfigValues stored = StoredConfig();
    ASSERT_TRUE(stored.password.empty());
    struct Shown {
        QString realtime, practicetime, width, scale;
        bool uppercase, remember, decimal, advance, presults, rresults;
    } shown{};
    ModalScript script;
    script.Expect(kSettingsDialog, [&](QWidget& dialog) {
        shown.realtime = Child<QLineEdit>(dialog, "DBEdit1").text();
        shown.practicetime = Child<QLineEdit>(dialog, "DBEdit2").text();
        shown.uppercase = Child<QCheckBox>(dialog, "DBCheckBox1").isChecked();
        shown.remember = Child<QCheckBox>(dialog, "DBCheckBox2").isChecked();
        shown.decimal = Child<QCheckBox>(dialog, "DBCheckBox3").isChecked();
        shown.advance = Child<QCheckBox>(dialog, "DBCheckBox6").isChecked();
        shown.width = Child<QComboBox>(dialog, "DBComboBox1").currentText();
        shown.presults = Child<QCheckBox>(dialog, "DBCheckBox4").isChecked();
        shown.rresults = Child<QCheckBox>(dialog, "DBCheckBox5").isChecked();
        shown.scale = Child<QComboBox>(dialog, "DBComboBox2").currentText();
        PressButton(QStringLiteral("Button2"))(dialog);
    });
    Trigger(Program().Main(), QStringLiteral("Admin/Settings"));
    EXPECT_TRUE(script.WaitDone());
    EXPECT_EQ(shown.realtime, QString::number(stored.realtime));
    EXPECT_EQ(shown.practicetime, QString::number(stored.practicetime));
    EXPECT_EQ(shown.uppercase, stored.useuppercase);
    EXPECT_EQ(shown.remember, stored.remembername);
    EXPECT_EQ(shown.decimal, stored.usedecimal);
    EXPECT_EQ(shown.advance, stored.autoadvance);
    EXPECT_EQ(shown.width, QString::number(stored.width));
    EXPECT_EQ(shown.presults, stored.presults);
    EXPECT_EQ(shown.rresults, stored.rresults);
    EXPECT_EQ(shown.scale, QString::number(stored.scalefactor));
    // What the program loaded at its start is what the table holds.
    EXPECT_EQ(Program().State().realtime, stored.realtime);
    EXPECT_EQ(Program().State().width, stored.width);
}

TEST_F(FirstStartTest, PasswordChangeOpensWithNoPromptAndCancelKeepsNone) {
    SeenBox box;
    ModalScript script;
    script.Expect(kPasswordChange, PressButton(QStringLiteral("BitBtn2")))
        .Expect(kMessageBox, AnswerBox(&box));
    Trigger(Program().Main(), QStringLiteral("Admin/Password"));
    EXPECT_TRUE(script.WaitDone());
    EXPECT_EQ(box.text, "Password has NOT been changed.");
    EXPECT_EQ(box.title, "Keyvale");
    EXPECT_TRUE(StoredConfig().password.empty());
}

// The results window opens at once on an empty results.dat: "Print" does nothing, and "Print all" previews
// a list of its title and column headers only, which printed from the preview gives one page.
TEST_F(FirstStartTest, TheResultsWindowIsEmptyPrintDoesNothingAndPrintAllShowsTheHeadersOnly) {
    ASSERT_TRUE(StoredResults().empty());
    int rows = -1;
    bool printOpenedNothing = false;
    ModalScript script;
    script
        .Expect(kResultsWindow,
                [&](QWidget& results) {
                    rows = static_cast<int>(GridRows(results).size());
                    Click(Button(results, QStringLiteral("Print")));
                    printOpenedNothing = QApplication::activeModalWidget() == &results;
                    Click(Button(results, QStringLiteral("Print all")));
                    Click(Button(results, QStringLiteral("Close")));
                })
        .Expect(kPreview, [](QWidget& preview) { testsupport::TriggerPreviewPrint(preview); })
        .Expect(QStringLiteral("QPrintDialog"), [](QWidget& dialog) { static_cast<QDialog&>(dialog).accept(); });
    Click(Button(Program().Main(), QStringLiteral("kvColorButton6")));
    EXPECT_TRUE(script.WaitDone());
    EXPECT_EQ(rows, 0);
    EXPECT_TRUE(printOpenedNothing);
    const QString pdf = Dir().WorkDir() + QStringLiteral("/Data entry test results.pdf");
    const QStringList pages = testsupport::PdfPages(testsupport::PdfText(pdf));
    ASSERT_EQ(pages.size(), 1) << pdf.toStdString();
    QStringList lines;
    for (const QString& line : pages.first().split(QLatin1Char('\n'))) {
        if (!line.trimmed().isEmpty()) lines << line.simplified();
    }
    EXPECT_EQ(lines, (QStringList{"Data entry test results",
                                  "Testee KPH Net KPH Accuracy Ttl KS Ttl flds Ttl ks err Ttl fld err Duration "
                                  "Test type Test date Time"}));
}

}  // namespace
}  // namespace e2e
