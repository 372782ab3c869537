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

#include "app/forms/zmain.h"
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

// One scenario: the plan of its run, the source records its screens must show, and the report it must give.
struct PracticeCase {
    QString command;
    ScreenRunPlan plan;  // its limit set by the run
    // The table and index the screens read, and the fields each screen shows of its record.
    const char* table = "";
    const char* index = "";
    std::vector<std::string> screen1Shows;
    std::vector<std::string> screen2Shows;
    std::vector<int> screen1Lengths;  // the source texts' lengths
    std::vector<int> screen2Lengths;
    std::string caption;  // screen 1's at the start
    QString typeLine;
    int keystrokes = 0;
    int fields = 0;
    QString accuracy;
    std::vector<Mistake> log;  // the error log's entries, from the last field keyed back
};

class PracticeModeTest : public ScenarioTest {
protected:
    ScreenRunSeen Run(ScreenRunPlan plan, const QString& command) {
        plan.limitSeconds = StoredConfig().practicetime * 60.0;
        EXPECT_EQ(plan.limitSeconds, 300);
        return TakeScreenRun(Program().Clock(), plan, [&] { Trigger(Program().Main(), command); });
    }

    // Runs the case's test: the screens show source records 50 and 51 under "(Record: 1)", the report has no
    // testee line, and nothing is stored. What the testee saw goes to `seen`.
    void RunCase(const PracticeCase& c, ScreenRunSeen& seen) {
        seen = Run(c.plan, c.command);
        const int shown1 = static_cast<int>(c.screen1Shows.size());
        const int shown2 = static_cast<int>(c.screen2Shows.size());
        EXPECT_EQ(Sources(seen.screen1, shown1), Record(c.table, c.index, 50, c.screen1Shows));
        EXPECT_EQ(Sources(seen.screen2, shown2), Record(c.table, c.index, 51, c.screen2Shows));
        ASSERT_EQ(SourceLengths(seen.screen1), c.screen1Lengths);
        ASSERT_EQ(SourceLengths(seen.screen2), c.screen2Lengths);
        EXPECT_EQ(seen.captionAtStart.toStdString(), c.caption);
        const QStringList report = PracticeReport(c.typeLine, c.keystrokes, c.fields, c.accuracy) + LogOf(c.log, seen);
        EXPECT_EQ(seen.report, report);
        EXPECT_TRUE(StoredResults().empty());
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
    ScreenRunSeen seen;
    ASSERT_NO_FATAL_FAILURE(RunCase({QStringLiteral("Tests/Numeric/Practice"),
                                     {kNumericScreen, false, {}, {}, MoveOn::Enter, 1, 2, 2},
                                     "numeric.dat",
                                     "",
                                     NumericFields(25),
                                     NumericFields(2),
                                     std::vector<int>(25, 5),
                                     {5, 5},
                                     "5 minute numeric practice mode test in progress (Record: 1)",
                                     QStringLiteral("Test type: Numeric, practice mode"),
                                     162,
                                     27,
                                     QStringLiteral("98.77"),
                                     {{2, 2, true}, {1, 1, false}}},
                                    seen));
    EXPECT_EQ(seen.captionOnScreen2, "5 minute numeric practice mode test in progress (Record: 2)");
    EXPECT_EQ(seen.complete.text, "Test is complete...");
}

// Invsort's 50th and 51st records in idxkey order: 30435839, 03/02/26, 2359.54, Kenneth Martin of 3715 Birch
// Ct, Newport; then 61233584, 06/05/26. With Enter: 9 + 7 + 7 + 8 + 7 + 14 + 8 = 60 on screen 1 (the date's
// separators and the amount's point not counted), 9 + 7 = 16 for two fields of screen 2: 76 in 9 fields.
TEST_F(PracticeModeTest, AlphanumericAsksNoNameStartsAtRecord50AndStoresNothing) {
    ScreenRunSeen seen;
    RunCase({QStringLiteral("Tests/Alphanumeric/Practice"),
             {kAlphanumericScreen, false, {}, {}, MoveOn::Enter, 4, 2, 1},
             "invsort.dat",
             "idxkey",
             {"INVOICE", "DATE", "AMOUNT", "FIRST", "LAST", "STREET", "CITY"},
             {"INVOICE", "DATE"},
             {8, 8, 7, 7, 6, 13, 7},
             {8, 8},
             "5 minute alphanumeric practice mode test in progress (Record: 1)",
             QStringLiteral("Test type: Alphanumeric, practice mode"),
             76,
             9,
             QStringLiteral("97.37"),
             {{2, 1, false}, {1, 4, false}}},
            seen);
}

// The same records: Kenneth Martin of Newport, Shirley Wilson. With Enter: 8 + 7 + 8 = 23 on screen 1,
// 8 + 7 = 15 on screen 2: 38 in 5 fields. Alpha practice asks the name first and stores it.
TEST_F(PracticeModeTest, AlphaAsksTheNameStartsAtRecord50AndStoresNothing) {
    ScreenRunSeen seen;
    ASSERT_NO_FATAL_FAILURE(
        RunCase({QStringLiteral("Tests/Alpha/Practice"),
                 {kAlphaScreen, true, QStringLiteral("Bo"), QStringLiteral("Dahl"), MoveOn::Enter, 1, 2, 2},
                 "invsort.dat",
                 "idxkey",
                 {"FIRST", "LAST", "CITY"},
                 {"FIRST", "LAST"},
                 {7, 6, 7},
                 {7, 6},
                 "5 minute alpha practice mode test in progress (Record: 1)",
                 QStringLiteral("Test type: Alpha, practice mode"),
                 38,
                 5,
                 QStringLiteral("94.74"),
                 {{2, 2, true}, {1, 1, false}}},
                seen));
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
    const SeenBox changed = SetPassword(QStringLiteral("abc"));
    EXPECT_EQ(changed.text, "Password change successful.");
    ASSERT_EQ(StoredConfig().password, "ABC");
    RunToCancel([](ModalScript& script) { script.Expect(kPasswordPrompt, EnterPassword(QStringLiteral("abc"))); });
}

}  // namespace
}  // namespace e2e
