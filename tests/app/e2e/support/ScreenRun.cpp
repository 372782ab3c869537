#include "tests/app/e2e/support/ScreenRun.h"

#include <QLineEdit>
#include <QToolButton>

#include <gtest/gtest.h>

#include "tests/app/e2e/support/Driving.h"
#include "tests/support/ServiceDoubles.h"

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

}  // namespace

void ScriptScreenRun(testsupport::ModalScript& script, testsupport::FakeTimeSource& clock,
                     const ScreenRunPlan& plan, ScreenRunSeen& seen) {
    if (plan.asksName) script.Expect(kNameDialog, EnterName(plan.first, plan.last));
    script.Expect(plan.screenClass, [&clock, plan, &seen](QWidget& screen) {
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
        // The countdown sees the limit at its next tick.
        AdvanceClock(clock, plan.limitSeconds);
    });
    script.Expect(kMessageBox, AnswerBox(&seen.complete));
    if (plan.report) script.Expect(kReportWindow, ReadReport(&seen.report));
}

}  // namespace e2e
