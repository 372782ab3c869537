// Practice mode, each test: numeric and alphanumeric without the name dialog, alpha with it; the screens
// start at the 50th source record under "(Record: 1)"; the report has no testee line and nothing is stored.
// With "Show practice test results" off the screen stays disabled after the time-out until Cancel, which asks
// for the administrator password only when there is one.
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "app/zmain.h"
#include "tests/app/e2e/ExpectedLog.h"
#include "tests/app/e2e/support/Driving.h"
#include "tests/app/e2e/support/ScenarioTest.h"
#include "tests/app/e2e/support/ScreenRun.h"
#include "tests/support/ModalGrace.h"
#include "tests/support/WaitUntil.h"

namespace e2e {
namespace {

using testsupport::ModalScript;

// A test screen stays open while it is keyed and the countdown ticks once more.
constexpr int kScreenGraceMs = kTestRunWaitMs;

std::vector<std::string> Sources(const QList<KeyedField>& fields, int count) {
    std::vector<std::string> sources;
    for (int i = 0; i < count && i < fields.size(); ++i) sources.push_back(fields[i].source.toStdString());
    return sources;
}

// The report of a practice test: no testee line. Every scenario runs keyvale-setup's 5 minutes and makes
// two one-keystroke mistakes in two fields.
QStringList PracticeReport(const QString& typeLine, int keystrokes, int fields, const QString& accuracy) {
    return {"Test Results",
            "",
            "Test date: 12/07/26",
            typeLine,
            "",
            QStringLiteral("Gross keystrokes per hour: %1.00").arg(keystrokes * 12),
            QStringLiteral("Net keystrokes per hour: %1.00").arg(keystrokes * 12 - 24),
            "Accuracy: " + accuracy,
            "Duration (minutes): 5.00",
            QStringLiteral("Total keystrokes: %1").arg(keystrokes),
            "Keystroke errors: 2",
            QStringLiteral("Total fields: %1").arg(fields),
            "Total field errors: 2",
            "",
            "Error logging:",
            "==============",
            ""};
}

class PracticeModeTest : public ScenarioTest {
protected:
    ScreenRunSeen Run(ScreenRunPlan plan, const QString& command) {
        plan.limitSeconds = StoredConfig().practicetime * 60.0;
        EXPECT_EQ(plan.limitSeconds, 300);
        return TakeScreenRun(Program().Clock(), plan, [&] { Trigger(Program().Main(), command); });
    }

    std::vector<std::string> Record(const char* table, const char* index, int number,
                                    const std::vector<std::string>& fields) {
        return ReadRecordTexts(Dir().Progdir(), table, index, number, fields);
    }
};

std::vector<std::string> NumericFields(int count) {
    std::vector<std::string> fields;
    for (int position = 1; position <= count; ++position) fields.push_back("n" + std::to_string(position));
    return fields;
}

// Five-digit values (width 5), Enter after each: 25 x 6 + 2 x 6 = 162 keystrokes in 27 fields, as in real
// mode; screen 1 is numeric.dat's 50th record, screen 2 its 51st.
TEST_F(PracticeModeTest, NumericAsksNoNameStartsAtRecord50AndStoresNothing) {
    ScreenRunPlan plan;
    plan.screenClass = kNumericScreen;
    plan.asksName = false;
    plan.screen1Mistake = 1;
    plan.screen2Fields = 2;
    plan.screen2Mistake = 2;
    const ScreenRunSeen seen = Run(plan, QStringLiteral("Tests/Numeric/Practice"));
    EXPECT_EQ(Sources(seen.screen1, 25), Record("numeric.dat", "", 50, NumericFields(25)));
    EXPECT_EQ(Sources(seen.screen2, 2), Record("numeric.dat", "", 51, NumericFields(2)));
    ASSERT_EQ(SourceLengths(seen.screen1), std::vector<int>(25, 5));
    EXPECT_EQ(seen.captionAtStart, "5 minute numeric practice mode test in progress (Record: 1)");
    EXPECT_EQ(seen.captionOnScreen2, "5 minute numeric practice mode test in progress (Record: 2)");
    EXPECT_EQ(seen.complete.text, "Test is complete...");
    EXPECT_EQ(seen.report, PracticeReport("Test type: Numeric, practice mode", 162, 27, "98.77") +
                               LogEntry(2, 2, seen.screen2[1], true) + LogEntry(1, 1, seen.screen1[0], false));
    EXPECT_TRUE(StoredResults().empty());
}

// Invsort's 50th and 51st records in idxkey order: 30435839, 03/02/26, 2359.54, Kenneth Martin of 3715 Birch
// Ct, Newport; then 61233584, 06/05/26. With Enter: 9 + 7 + 7 + 8 + 7 + 14 + 8 = 60 on screen 1 (the date's
// separators and the amount's point not counted), 9 + 7 = 16 for two fields of screen 2: 76 in 9 fields.
TEST_F(PracticeModeTest, AlphanumericAsksNoNameStartsAtRecord50AndStoresNothing) {
    ScreenRunPlan plan;
    plan.screenClass = kAlphanumericScreen;
    plan.asksName = false;
    plan.screen1Mistake = 4;
    plan.screen2Fields = 2;
    plan.screen2Mistake = 1;
    const ScreenRunSeen seen = Run(plan, QStringLiteral("Tests/Alphanumeric/Practice"));
    EXPECT_EQ(Sources(seen.screen1, 7),
              Record("invsort.dat", "idxkey", 50, {"INVOICE", "DATE", "AMOUNT", "FIRST", "LAST", "STREET", "CITY"}));
    EXPECT_EQ(Sources(seen.screen2, 2), Record("invsort.dat", "idxkey", 51, {"INVOICE", "DATE"}));
    ASSERT_EQ(SourceLengths(seen.screen1), (std::vector<int>{8, 8, 7, 7, 6, 13, 7}));
    ASSERT_EQ(SourceLengths(seen.screen2), (std::vector<int>{8, 8}));
    EXPECT_EQ(seen.captionAtStart, "5 minute alphanumeric practice mode test in progress (Record: 1)");
    EXPECT_EQ(seen.report, PracticeReport("Test type: Alphanumeric, practice mode", 76, 9, "97.37") +
                               LogEntry(2, 1, seen.screen2[0], false) + LogEntry(1, 4, seen.screen1[3], false));
    EXPECT_TRUE(StoredResults().empty());
}

// The same records: Kenneth Martin of Newport, Shirley Wilson. With Enter: 8 + 7 + 8 = 23 on screen 1,
// 8 + 7 = 15 on screen 2: 38 in 5 fields. Alpha practice asks the name first and stores it.
TEST_F(PracticeModeTest, AlphaAsksTheNameStartsAtRecord50AndStoresNothing) {
    ScreenRunPlan plan;
    plan.screenClass = kAlphaScreen;
    plan.first = "Bo";
    plan.last = "Dahl";
    plan.screen1Mistake = 1;
    plan.screen2Fields = 2;
    plan.screen2Mistake = 2;
    const ScreenRunSeen seen = Run(plan, QStringLiteral("Tests/Alpha/Practice"));
    EXPECT_EQ(Sources(seen.screen1, 3), Record("invsort.dat", "idxkey", 50, {"FIRST", "LAST", "CITY"}));
    EXPECT_EQ(Sources(seen.screen2, 2), Record("invsort.dat", "idxkey", 51, {"FIRST", "LAST"}));
    ASSERT_EQ(SourceLengths(seen.screen1), (std::vector<int>{7, 6, 7}));
    ASSERT_EQ(SourceLengths(seen.screen2), (std::vector<int>{7, 6}));
    EXPECT_EQ(seen.captionAtStart, "5 minute alpha practice mode test in progress (Record: 1)");
    EXPECT_EQ(seen.report, PracticeReport("Test type: Alpha, practice mode", 38, 5, "94.74") +
                               LogEntry(2, 2, seen.screen2[1], true) + LogEntry(1, 1, seen.screen1[0], false));
    EXPECT_TRUE(StoredResults().empty());
    EXPECT_EQ(StoredConfig().fname, "Bo");
    EXPECT_EQ(StoredConfig().lname, "Dahl");
}

// "Show practice test results" off: after "Test is complete..." the screen stays open with everything
// disabled and nothing scored, until Cancel; Cancel asks for the password when one is set.
class PracticeWithoutResultsTest : public PracticeModeTest {
protected:
    void SetUp() override {
        PracticeModeTest::SetUp();
        ModalScript script;
        script.Expect(kSettingsDialog,
                      SaveSettings([](QWidget& dialog) { SetChecked(dialog, QStringLiteral("DBCheckBox4"), false); }));
        Trigger(Program().Main(), QStringLiteral("Admin/Settings"));
        EXPECT_TRUE(script.WaitDone());
        ASSERT_FALSE(StoredConfig().presults);
    }

    // The numeric practice test, one field keyed, to its time-out; then the screen as it stays, and Cancel.
    // `afterCancel` adds the steps Cancel brings.
    void RunToCancel(const std::function<void(ModalScript&)>& afterCancel) {
        const testsupport::ScopedModalGrace grace(kScreenGraceMs);
        ModalScript script;
        SeenBox complete;
        script.Expect(kNumericScreen, [this](QWidget& screen) {
            KeyFields(screen, 1, 1, 0, MoveOn::Enter);
            AdvanceClock(Program().Clock(), 300);
        });
        script.Expect(kMessageBox, AnswerBox(&complete));
        script.Expect(kNumericScreen, [this](QWidget& screen) {
            // It stays: a while later it is still open, all disabled, and the time is up.
            testsupport::waitUntil([] { return false; }, 300);
            stillOpen_ = screen.isVisible();
            for (int position = 1; position <= FieldCount(screen); ++position) {
                if (EntryField(screen, position).isEnabled()) enabledFields_ << position;
            }
            navigationEnabled_ = screen.findChild<QToolButton*>("prevscreenbtn")->isEnabled() ||
                                 screen.findChild<QToolButton*>("nextscreenbtn")->isEnabled();
            timeLabel_ = screen.findChild<QLabel*>("timeLabel")->text();
            Click(*screen.findChild<QPushButton*>("BitBtn1"));
        });
        afterCancel(script);
        Trigger(Program().Main(), QStringLiteral("Tests/Numeric/Practice"));
        EXPECT_TRUE(script.WaitDone());
        EXPECT_EQ(complete.text, "Test is complete...");
        EXPECT_TRUE(stillOpen_);
        EXPECT_TRUE(enabledFields_.isEmpty()) << enabledFields_.size() << " fields enabled";
        EXPECT_FALSE(navigationEnabled_);
        EXPECT_EQ(timeLabel_, "Time remaining: 0.00");
        // Cancel closed it: no report came, nothing was stored.
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
        EXPECT_TRUE(StoredResults().empty());
    }

private:
    bool stillOpen_ = false;
    QList<int> enabledFields_;
    bool navigationEnabled_ = true;
    QString timeLabel_;
};

TEST_F(PracticeWithoutResultsTest, TheScreenStaysDisabledUntilCancelWhichAsksNothingWithoutAPassword) {
    ASSERT_TRUE(StoredConfig().password.empty());
    RunToCancel([](ModalScript&) {});
}

TEST_F(PracticeWithoutResultsTest, CancelAsksForThePasswordOnceOneIsSet) {
    SeenBox changed;
    ModalScript password;
    password.Expect(kPasswordChange, ChangePassword(QStringLiteral("abc"), QStringLiteral("abc")))
        .Expect(kMessageBox, AnswerBox(&changed));
    Trigger(Program().Main(), QStringLiteral("Admin/Password"));
    EXPECT_TRUE(password.WaitDone());
    EXPECT_EQ(changed.text, "Password change successful.");
    ASSERT_EQ(StoredConfig().password, "ABC");
    RunToCancel([](ModalScript& script) { script.Expect(kPasswordPrompt, EnterPassword(QStringLiteral("abc"))); });
}

}  // namespace
}  // namespace e2e
