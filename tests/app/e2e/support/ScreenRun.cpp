#include "tests/app/e2e/support/ScreenRun.h"

#include <QApplication>
#include <QLineEdit>
#include <QToolButton>

#include <gtest/gtest.h>

#include "tests/app/e2e/support/Driving.h"
#include "tests/support/ModalGrace.h"
#include "tests/support/ServiceDoubles.h"
#include "tests/support/WaitUntil.h"

namespace e2e {

namespace {

void ClickSpeedButton(QWidget& screen, const char* name) {
    auto* button = screen.findChild<QToolButton*>(QLatin1String(name));
    if (button == nullptr) {
        ADD_FAILURE() << "the screen has no " << name;
        return;
    }
    if (!button->isEnabled()) ADD_FAILURE() << name << " is disabled";
    Click(*button);
}

// The keying of the plan's two screens, noting what the testee saw into `seen`.
TScreenKeying TwoScreens(const ScreenRunPlan& plan, ScreenRunSeen& seen) {
    return [plan, &seen](QWidget& screen) {
        seen.captionAtStart = screen.windowTitle();
        const int fields = FieldCount(screen);
        seen.screen1 = KeyFields(screen, 1, fields, plan.screen1Mistake, plan.move);
        // The last field's Enter, or its auto-advance, brings screen 2 with the focus on its first field.
        if (!WaitForFocus(EntryField(screen, 1))) ADD_FAILURE() << "screen 2 did not come";
        seen.captionOnScreen2 = screen.windowTitle();
        seen.screen2 = KeyFields(screen, 1, plan.screen2Fields, plan.screen2Mistake, plan.move);
        if (plan.previousAndNext) {
            ClickSpeedButton(screen, "prevscreenbtn");
            seen.screen1AfterPrevious = EntryTexts(screen);
            seen.captionAfterPrevious = screen.windowTitle();
            ClickSpeedButton(screen, "nextscreenbtn");
            seen.screen2AfterNext = EntryTexts(screen);
        }
    };
}

}  // namespace

void ScriptTestRun(testsupport::ModalScript& script, testsupport::FakeTimeSource& clock, const TestRun& run,
                   TestRunSeen& seen) {
    if (run.asksName) script.Expect(kNameDialog, EnterName(run.first, run.last));
    script.Expect(run.screenClass, [&clock, run](QWidget& screen) {
        if (!WaitForFocus(EntryField(screen, 1))) {
            ADD_FAILURE() << "the first entry field of " << run.screenClass.toStdString() << " did not get the focus";
            return;
        }
        run.keying(screen);
        // The countdown sees the limit at its next tick.
        AdvanceClock(clock, run.limitSeconds);
        // The end comes from the screen's tick: its box and report open over the screen, which closes after
        // them. Without a report the screen stays.
        if (run.report) {
            EXPECT_TRUE(testsupport::waitUntil([&screen] { return !screen.isVisible(); }, kTestRunWaitMs))
                << run.screenClass.toStdString() << ": the screen did not close after its report";
        }
    });
    script.Expect(kMessageBox, AnswerBox(&seen.complete));
    if (run.report) script.Expect(kReportWindow, ReadReport(&seen.report));
}

TestRunSeen TakeTest(testsupport::FakeTimeSource& clock, const TestRun& run, const std::function<void()>& start) {
    TestRunSeen seen;
    const testsupport::ScopedModalGrace grace(kTestRunWaitMs);
    testsupport::ModalScript script(kTestRunWaitMs);
    ScriptTestRun(script, clock, run, seen);
    start();
    EXPECT_TRUE(script.WaitDone()) << run.screenClass.toStdString();
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    return seen;
}

ScreenRunSeen TakeScreenRun(testsupport::FakeTimeSource& clock, const ScreenRunPlan& plan,
                            const std::function<void()>& start) {
    ScreenRunSeen seen;
    const TestRunSeen end = TakeTest(
        clock, {plan.screenClass, plan.asksName, plan.first, plan.last, TwoScreens(plan, seen), plan.limitSeconds},
        start);
    seen.complete = end.complete;
    seen.report = end.report;
    return seen;
}

std::vector<int> SourceLengths(const QList<KeyedField>& fields) {
    std::vector<int> lengths;
    for (const KeyedField& field : fields) lengths.push_back(static_cast<int>(field.source.size()));
    return lengths;
}

}  // namespace e2e
