// Real mode, each test from the Tests menu and from the toolbar: the name dialog, two screens keyed with one
// mistake each (Enter or auto-advance), Previous and Next, time-out at the fake limit, "Test is complete...",
// the report's lines and the stored record.
#include <QApplication>

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "app/forms/zmain.h"
#include "rtl/DateTime.h"
#include "tests/app/e2e/ExpectedLog.h"
#include "tests/app/e2e/support/Driving.h"
#include "tests/app/e2e/support/ScenarioTest.h"
#include "tests/app/e2e/support/ScreenRun.h"

namespace e2e {
namespace {

using testsupport::ModalScript;

// What the report and the stored record must say, worked out by hand from what the scenario keys. Every
// scenario runs 5 minutes (keyvale-setup's realtime) and makes two one-keystroke mistakes in two fields,
// so KPH is keystrokes times 12 and NKPH is KPH minus 2 times 12 = 24.
struct Expected {
    std::string testtype;
    QString typeLine;
    int keystrokes = 0;
    int fields = 0;
    QString kph;
    QString nkph;
    QString accuracy;
    double accuracyStored = 0;
};

// One scenario: the plan of its run, and what it must show.
struct RealCase {
    QString command;  // the menu command's path, or the toolbar button's caption
    bool toolbar = false;
    ScreenRunPlan plan;               // its names and limit set by the run
    std::vector<int> screen1Lengths;  // the source texts' lengths
    std::vector<int> screen2Lengths;
    QString captionPrefix;
    Expected expected;
    std::vector<Mistake> log;  // the error log's entries, from the last field keyed back
};

QStringList Keyed(const QList<KeyedField>& fields) {
    QStringList keyed;
    for (const KeyedField& field : fields) keyed << field.keyed;
    return keyed;
}

QStringList Trimmed(const QStringList& texts) {
    QStringList trimmed;
    for (const QString& text : texts) trimmed << text.trimmed();
    return trimmed;
}

class RealModeTest : public ScenarioTest {
protected:
    // Admin, Settings (the toolbar's "Set"): "Auto advance to next field when filled" on, saved.
    void TurnOnAutoAdvance() {
        ModalScript script;
        script.Expect(kSettingsDialog,
                      SaveSettings([](QWidget& dialog) { SetChecked(dialog, QStringLiteral("DBCheckBox6"), true); }));
        Click(Button(Program().Main(), QStringLiteral("Set")));
        EXPECT_TRUE(script.WaitDone());
        ASSERT_TRUE(StoredConfig().autoadvance);
    }

    // Runs the case's test as "Ann Lee" and checks the screens, the end, the report and the stored record.
    void RunCase(const RealCase& c) {
        ScreenRunPlan plan = c.plan;
        plan.first = QStringLiteral("Ann");
        plan.last = QStringLiteral("Lee");
        plan.limitSeconds = StoredConfig().realtime * 60.0;
        EXPECT_EQ(plan.limitSeconds, 300);
        const ScreenRunSeen seen = TakeScreenRun(Program().Clock(), plan, [&] {
            if (c.toolbar) {
                Click(Button(Program().Main(), c.command));
            } else {
                Trigger(Program().Main(), c.command);
            }
        });
        ASSERT_EQ(SourceLengths(seen.screen1), c.screen1Lengths);
        ASSERT_EQ(SourceLengths(seen.screen2), c.screen2Lengths);
        Check(seen, c.captionPrefix, c.expected, LogOf(c.log, seen));
    }

    // The screens as the testee saw them, the end, the report's lines and log, and the one stored record.
    void Check(const ScreenRunSeen& seen, const QString& captionPrefix, const Expected& expected,
               const QStringList& log) {
        EXPECT_EQ(seen.captionAtStart, captionPrefix + QStringLiteral(" (Record: 1)"));
        EXPECT_EQ(seen.captionOnScreen2, captionPrefix + QStringLiteral(" (Record: 2)"));
        EXPECT_EQ(seen.captionAfterPrevious, captionPrefix + QStringLiteral(" (Record: 1)"));
        // Previous shows screen 1 as keyed; Next shows screen 2's keyed fields and the rest empty.
        EXPECT_EQ(Trimmed(seen.screen1AfterPrevious), Keyed(seen.screen1));
        QStringList screen2 = Keyed(seen.screen2);
        while (screen2.size() < seen.screen2AfterNext.size()) screen2 << QString();
        EXPECT_EQ(Trimmed(seen.screen2AfterNext), screen2);
        EXPECT_EQ(seen.complete.title, "Keyvale");
        EXPECT_EQ(seen.complete.text, "Test is complete...");

        const QStringList head{"Test Results",
                               "",
                               "Test date: 12/07/26",
                               "Testee name: Lee, Ann",
                               expected.typeLine,
                               "",
                               "Gross keystrokes per hour: " + expected.kph,
                               "Net keystrokes per hour: " + expected.nkph,
                               "Accuracy: " + expected.accuracy,
                               "Duration (minutes): 5.00",
                               QStringLiteral("Total keystrokes: %1").arg(expected.keystrokes),
                               "Keystroke errors: 2",
                               QStringLiteral("Total fields: %1").arg(expected.fields),
                               "Total field errors: 2",
                               "",
                               "Error logging:",
                               "==============",
                               ""};
        EXPECT_EQ(seen.report.mid(0, 18), head);
        EXPECT_EQ(seen.report.mid(18), log);

        const std::vector<testsupport::StoredResult> stored = StoredResults();
        ASSERT_EQ(stored.size(), 1u);
        const testsupport::StoredResult& r = stored.front();
        EXPECT_EQ(r.name, "Lee, Ann");
        EXPECT_EQ(r.testtype, expected.testtype);
        EXPECT_EQ(r.totalks, expected.keystrokes);
        EXPECT_EQ(r.toterrs, 2);
        EXPECT_EQ(r.totalflds, expected.fields);
        EXPECT_EQ(r.flderrs, 2);
        EXPECT_DOUBLE_EQ(r.kph, expected.keystrokes * 12.0);
        EXPECT_DOUBLE_EQ(r.nkph, expected.keystrokes * 12.0 - 24);
        EXPECT_NEAR(r.accuracy, expected.accuracyStored, 1e-6);
        EXPECT_DOUBLE_EQ(r.time, 5.0);
        EXPECT_EQ(r.testdate, rtl::EncodeDate(2026, 12, 7));
        // The time of day the time ran out: 9:30 and the 300 seconds the clock moved.
        const double day = std::floor(r.testtime);
        EXPECT_NEAR(r.testtime - day, rtl::EncodeTime(9, 35, 0, 0), 1e-8);
        // The log as the report shows it, its lines stored with the CR LF line breaks of the memo field.
        EXPECT_EQ(r.errors, log.join(QStringLiteral("\r\n")).toStdString());
        // The name dialog stored the testee's name.
        EXPECT_EQ(StoredConfig().fname, "Ann");
        EXPECT_EQ(StoredConfig().lname, "Lee");
    }
};

// Numeric values of keyvale-setup's width 5 have five digits. Enter after each field (the last one of screen
// 1 goes on to screen 2): screen 1 counts 25 x (5 + 1) = 150 keystrokes, screen 2 its two fields 2 x 6 = 12
// (the last keyed one gets its Enter since it is whole): 162 in 27 fields, accuracy 100 - 2/162 x 100.
TEST_F(RealModeTest, NumericFromTheMenuKeyedWithEnter) {
    ASSERT_NO_FATAL_FAILURE(RunCase(
        {QStringLiteral("Tests/Numeric/Real"),
         false,
         {kNumericScreen, true, {}, {}, MoveOn::Enter, 3, 2, 2},
         std::vector<int>(25, 5),
         {5, 5},
         "5 minute numeric real mode test in progress",
         {"numeric", "Test type: Numeric, real mode", 162, 27, "1944.00", "1920.00", "98.77", 100 - 200.0 / 162},
         {{2, 2, true}, {1, 3, false}}}));
    // File, Results lists it, the only result.
    QList<QStringList> rows;
    ModalScript results;
    results.Expect(kResultsWindow, [&rows](QWidget& window) {
        rows = GridRows(window);
        Click(Button(window, QStringLiteral("Close")));
    });
    Trigger(Program().Main(), QStringLiteral("File/Results"));
    EXPECT_TRUE(results.WaitDone());
    // The grid's columns: name, KPH, net KPH, accuracy, keystrokes, fields, keystroke errors, field errors,
    // minutes, type, date; rates, accuracy and minutes with two decimals, as the list prints them.
    EXPECT_EQ(rows, (QList<QStringList>{{"Lee, Ann", "1,944.00", "1,920.00", "98.77", "162", "27", "2", "2", "5.00",
                                         "numeric", "12/07/26"}}));
}

// Auto-advance: no Enter is counted. 25 x 5 + 2 x 5 = 135 keystrokes in 27 fields.
TEST_F(RealModeTest, NumericFromTheToolbarWithAutoAdvance) {
    TurnOnAutoAdvance();
    RunCase({QStringLiteral("N"),
             true,
             {kNumericScreen, true, {}, {}, MoveOn::AutoAdvance, 25, 2, 1},
             std::vector<int>(25, 5),
             {5, 5},
             "5 minute numeric real mode test in progress",
             {"numeric", "Test type: Numeric, real mode", 135, 27, "1620.00", "1596.00", "98.52", 100 - 200.0 / 135},
             {{2, 1, false}, {1, 25, false}}});
}

// The first two invsort records in idxkey order: Lisa Thompson of Manchester, Thomas Sanchez. With Enter:
// (4 + 1) + (8 + 1) + (10 + 1) = 25 on screen 1, (6 + 1) + (7 + 1) = 15 on screen 2: 40 in 5 fields.
TEST_F(RealModeTest, AlphaFromTheMenuKeyedWithEnter) {
    RunCase({QStringLiteral("Tests/Alpha/Real"),
             false,
             {kAlphaScreen, true, {}, {}, MoveOn::Enter, 2, 2, 2},
             {4, 8, 10},
             {6, 7},
             "5 minute alpha real mode test in progress",
             {"alpha", "Test type: Alpha, real mode", 40, 5, "480.00", "456.00", "95.00", 95.0},
             {{2, 2, true}, {1, 2, false}}});
}

// Auto-advance: 4 + 8 + 10 + 6 + 7 = 35 keystrokes in 5 fields.
TEST_F(RealModeTest, AlphaFromTheToolbarWithAutoAdvance) {
    TurnOnAutoAdvance();
    RunCase({QStringLiteral("A"),
             true,
             {kAlphaScreen, true, {}, {}, MoveOn::AutoAdvance, 3, 2, 1},
             {4, 8, 10},
             {6, 7},
             "5 minute alpha real mode test in progress",
             {"alpha", "Test type: Alpha, real mode", 35, 5, "420.00", "396.00", "94.29", 100 - 200.0 / 35},
             {{2, 1, false}, {1, 3, false}}});
}

// The same two records: invoice (8), date (8, its two separators not counted), amount (7, its point not
// counted), first, last, street, city. With Enter: 9 + 7 + 7 + 5 + 9 + 12 + 11 = 60 on screen 1 and
// 9 + 7 + 7 = 23 for the three fields of screen 2: 83 in 10 fields.
TEST_F(RealModeTest, AlphanumericFromTheMenuKeyedWithEnter) {
    RunCase(
        {QStringLiteral("Tests/Alphanumeric/Real"),
         false,
         {kAlphanumericScreen, true, {}, {}, MoveOn::Enter, 2, 3, 3},
         {8, 8, 7, 4, 8, 11, 10},
         {8, 8, 7},
         "5 minute alphanumeric real mode test in progress",
         {"alphanumeric", "Test type: Alphanumeric, real mode", 83, 10, "996.00", "972.00", "97.59", 100 - 200.0 / 83},
         {{2, 3, true}, {1, 2, false}}});
}

// Auto-advance: 8 + 6 + 6 + 4 + 8 + 11 + 10 = 53 on screen 1, 8 + 6 + 6 + 6 + 7 = 33 for five fields of
// screen 2: 86 in 12 fields.
TEST_F(RealModeTest, AlphanumericFromTheToolbarWithAutoAdvance) {
    TurnOnAutoAdvance();
    RunCase({QStringLiteral("AN"),
             true,
             {kAlphanumericScreen, true, {}, {}, MoveOn::AutoAdvance, 7, 5, 1},
             {8, 8, 7, 4, 8, 11, 10},
             {8, 8, 7, 6, 7},
             "5 minute alphanumeric real mode test in progress",
             {"alphanumeric", "Test type: Alphanumeric, real mode", 86, 12, "1032.00", "1008.00", "97.67",
              100 - 200.0 / 86},
             {{2, 1, false}, {1, 7, false}}});
}

}  // namespace
}  // namespace e2e
