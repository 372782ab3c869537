// The settings as an administrator changes them: the test time, its limit, the screens' scale, upper case,
// and a restart that keeps what was set.
#include <QAbstractItemModel>
#include <QComboBox>
#include <QLineEdit>
#include <QPointer>
#include <QSize>

#include <gtest/gtest.h>

#include "app/forms/FormRegistry.h"
#include "app/forms/zmain.h"
#include "db/widgets/DBGrid.h"
#include "tests/app/e2e/AdminSteps.h"
#include "tests/app/e2e/support/Driving.h"
#include "tests/app/e2e/support/ModalAnswers.h"
#include "tests/app/e2e/support/ScenarioTest.h"
#include "tests/app/e2e/support/ScreenRun.h"
#include "tests/support/ModalGrace.h"
#include "tests/support/ModalScript.h"
#include "tests/support/WaitUntil.h"

namespace e2e {
namespace {

using testsupport::ModalScript;

// A test screen that waits for two ticks of its one-second countdown stays open longer than the
// watchdog's usual grace.
constexpr int kTwoTicksGraceMs = 10000;

class SettingsScenarioTest : public ScenarioTest {
protected:
    // Admin, Settings, with no password set: the dialog changed by `change` and saved.
    void ChangeSettings(std::function<void(QWidget& dialog)> change) {
        ModalScript script;
        script.Expect(kSettingsDialog, SaveSettings(std::move(change)));
        Trigger(Program().Main(), QStringLiteral("Admin/Settings"));
        EXPECT_TRUE(script.WaitDone());
    }
};

TEST_F(SettingsScenarioTest, ARealTimeOfTwoMinutesIsInTheCaptionAndTheTestEndsAt120Seconds) {
    const testsupport::ScopedModalGrace grace(kTwoTicksGraceMs);
    ChangeSettings([](QWidget& dialog) { Rekey(Control<QLineEdit>(dialog, "DBEdit1"), QStringLiteral("2")); });
    ASSERT_EQ(StoredConfig().realtime, 2);

    QPointer<QWidget> screen;
    QString caption;
    QString at119;
    bool keyingAt119 = false;
    QString atEnd;
    SeenBox complete;
    QStringList report;
    ModalScript script;
    script.Expect(kNameDialog, EnterName(QStringLiteral("Ann"), QStringLiteral("Lee")))
        .Expect(kNumericScreen,
                [&](QWidget& shown) {
                    screen = &shown;
                    caption = shown.windowTitle();
                    Type(SourceTexts(shown).at(0));
                    // The first tick comes a second after the first key and sees 119 s gone: 1 s left.
                    AdvanceClock(Program().Clock(), 119);
                    testsupport::waitUntil(
                        [&] { return TimeLabel(shown) != QLatin1String("Timer starts with first key pressed."); });
                    at119 = TimeLabel(shown);
                    keyingAt119 = EntryField(shown, 2).isEnabled();
                    AdvanceClock(Program().Clock(), 1);
                })
        .Expect(kMessageBox,
                [&](QWidget& box) {
                    if (screen != nullptr) atEnd = TimeLabel(*screen);
                    AnswerBox(&complete)(box);
                })
        .Expect(kReportWindow, ReadReport(&report));
    Click(Button(Program().Main(), QStringLiteral("N")));
    EXPECT_TRUE(script.WaitDone());

    EXPECT_EQ(caption, "2 minute numeric real mode test in progress (Record: 1)");
    EXPECT_EQ(at119, "Time remaining: 0.02");
    EXPECT_TRUE(keyingAt119);
    EXPECT_EQ(atEnd, "Time remaining: 0.00");
    EXPECT_EQ(complete.text, "Test is complete...");
    EXPECT_TRUE(report.contains("Duration (minutes): 2.00")) << report.join('\n').toStdString();
    const auto results = StoredResults();
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].time, 2.0);
    EXPECT_EQ(results[0].testtype, "numeric");
}

// 31 minutes is refused on leaving the field, with the focus back on it; 30 is then taken.
TEST_F(SettingsScenarioTest, ATimeAboveThirtyIsRefusedAndThirtyThenSaved) {
    const int before = StoredConfig().realtime;
    const RefusedEntry entry = RefuseThenSaveRealTime(Program().Main(), QStringLiteral("31"), QStringLiteral("30"),
                                                      [this] { return StoredConfig().realtime; });
    EXPECT_EQ(entry.box.title, "Error");
    EXPECT_EQ(entry.box.text, "Maximum time is 30");
    EXPECT_TRUE(entry.focusBack);
    EXPECT_EQ(entry.kept, "31");
    EXPECT_EQ(entry.storedMeanwhile, before);
    EXPECT_EQ(StoredConfig().realtime, 30);
    EXPECT_EQ(Program().State().realtime, 30);
}

// 20 first, then 10: the screens are 110 % of their design, not 110 % of the 120 % screens.
TEST_F(SettingsScenarioTest, AScaleOfTenAfterTwentyGivesScreensAt110PercentOfTheirDesign) {
    for (const char* scale : {"20", "10"}) {
        SCOPED_TRACE(scale);
        ModalScript script;
        script.Expect(kSettingsDialog, SaveSettings([scale](QWidget& dialog) {
                          ChooseByKeys(Control<QComboBox>(dialog, "DBComboBox2"), QLatin1String(scale));
                      }));
        Click(Button(Program().Main(), QStringLiteral("Set")));
        EXPECT_TRUE(script.WaitDone());
    }
    EXPECT_EQ(StoredConfig().scalefactor, 10);
    // The designed sizes, from the screens' form files.
    const struct {
        app::FormSlot slot;
        QSize design;
    } screens[] = {
        {app::FormSlot::numerictestform, {620, 470}},
        {app::FormSlot::alphanumerictestform, {780, 300}},
        {app::FormSlot::alphatestform, {600, 250}},
    };
    for (const auto& s : screens) {
        EXPECT_EQ(Program().Form<QWidget>(s.slot).size(), s.design * 1.1) << static_cast<int>(s.slot);
    }
    // As the testee meets it.
    QSize shown;
    ModalScript script;
    script.Expect(kNumericScreen, [&](QWidget& screen) {
        shown = screen.size();
        Click(Control<QWidget>(screen, "BitBtn1"));
    });
    Trigger(Program().Main(), QStringLiteral("Tests/Numeric/Practice"));
    EXPECT_TRUE(script.WaitDone());
    EXPECT_EQ(shown, QSize(682, 517));
}

// Lower-case keys show as capitals and score as the capitals the source holds.
TEST_F(SettingsScenarioTest, UseUppercaseShowsLowerCaseKeysAsCapitalsThatScoreWithoutError) {
    ASSERT_FALSE(StoredConfig().useuppercase);
    ChangeSettings([](QWidget& dialog) { SetChecked(dialog, QStringLiteral("DBCheckBox1"), true); });
    const testsupport::ConfigValues config = StoredConfig();
    ASSERT_TRUE(config.useuppercase);
    ASSERT_TRUE(config.presults);

    QString source;
    QString shown;
    const auto keying = [&](QWidget& screen) {
        source = SourceTexts(screen).at(0);
        Type(source.toLower());
        shown = EntryField(screen, 1).text();
        PressEnter();
    };
    const QStringList report =
        TakeTest(Program().Clock(),
                 {kAlphaScreen, true, QStringLiteral("Ann"), QStringLiteral("Lee"), keying, config.practicetime * 60.0},
                 [this] { Trigger(Program().Main(), QStringLiteral("Tests/Alpha/Practice")); })
            .report;
    ASSERT_NE(source, source.toLower()) << "a first name with a capital";
    EXPECT_EQ(shown, source.toUpper());
    EXPECT_TRUE(report.contains("Keystroke errors: 0")) << report.join('\n').toStdString();
    EXPECT_TRUE(report.contains("Total fields: 1")) << report.join('\n').toStdString();
    EXPECT_TRUE(StoredResults().empty());
}

TEST_F(SettingsScenarioTest, ARestartInTheSameDirectoryKeepsSettingsPasswordNameAndResults) {
    ChangeSettings([](QWidget& dialog) { Rekey(Control<QLineEdit>(dialog, "DBEdit1"), QStringLiteral("3")); });
    const auto keying = [](QWidget& screen) {
        Type(SourceTexts(screen).at(0));
        PressEnter();
    };
    TakeTest(Program().Clock(), {kNumericScreen, true, QStringLiteral("Ann"), QStringLiteral("Lee"), keying, 3 * 60.0},
             [this] { Trigger(Program().Main(), QStringLiteral("Tests/Numeric/Real")); });
    SetPassword(QStringLiteral("abc"));

    Restart();
    QString realtime;
    QString first;
    QString last;
    int rows = -1;
    QString name;
    ModalScript script;
    script.Expect(kPasswordPrompt, EnterPassword(QStringLiteral("abc")))
        .Expect(kSettingsDialog,
                [&](QWidget& dialog) {
                    realtime = Control<QLineEdit>(dialog, "DBEdit1").text();
                    PressButton(QStringLiteral("Button2"))(dialog);
                })
        .Expect(kNameDialog,
                [&](QWidget& dialog) {
                    first = Control<QLineEdit>(dialog, "Edit1").text();
                    last = Control<QLineEdit>(dialog, "Edit2").text();
                    PressButton(QStringLiteral("BitBtn2"))(dialog);
                })
        .Expect(kPasswordPrompt, EnterPassword(QStringLiteral("abc")))
        .Expect(kResultsWindow, [&](QWidget& results) {
            const QAbstractItemModel& grid = *Control<db::widgets::TDBGrid>(results, "DBGrid1").model();
            rows = grid.rowCount();
            if (rows > 0) name = grid.index(0, 0).data().toString();
            Click(Button(results, QStringLiteral("Close")));
        });
    Trigger(Program().Main(), QStringLiteral("Admin/Settings"));
    Trigger(Program().Main(), QStringLiteral("Tests/Numeric/Real"));
    Trigger(Program().Main(), QStringLiteral("File/Results"));
    EXPECT_TRUE(script.WaitDone());
    EXPECT_EQ(realtime, "3");
    EXPECT_EQ(first, "Ann");
    EXPECT_EQ(last, "Lee");
    EXPECT_EQ(rows, 1);
    EXPECT_EQ(name, "Lee, Ann");
}

}  // namespace
}  // namespace e2e
