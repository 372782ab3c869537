// ScreenRun: one test as a testee takes it, scripted: the name dialog when the command asks, the screen
// keyed, the fake clock moved to the limit, "Test is complete..." and the report window; and the common run
// of two screens keyed with a chosen mistake each, Previous and Next.
#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

#include "tests/app/e2e/support/ModalAnswers.h"
#include "tests/app/e2e/support/ScreenKeying.h"
#include "tests/support/ModalScript.h"

namespace testsupport {
class FakeTimeSource;
}

namespace e2e {

// How long a step of a test may take to come, and the test's screen may stay open under the modal watchdog:
// the keying, then the countdown's next tick (a second), with room for a loaded machine under the sanitizers.
constexpr int kTestRunWaitMs = 15000;

// What the testee keys on the screen, with the focus on its first entry field; it may note what it read.
using TScreenKeying = std::function<void(QWidget& screen)>;

struct TestRun {
    QString screenClass;  // kNumericScreen, kAlphanumericScreen or kAlphaScreen
    // The name dialog comes first (real mode, alpha practice): the names keyed into it.
    bool asksName = true;
    QString first;
    QString last;
    TScreenKeying keying;
    // How far the fake clock moves once the keying is done: the test's limit, in seconds.
    double limitSeconds = 0;
    // After "Test is complete...": the report window, after which the screen closes.
    bool report = true;
};

struct TestRunSeen {
    SeenBox complete;    // "Test is complete..."
    QStringList report;  // the report window's lines
};

// Adds the run's steps to `script`, from the name dialog (when the run asks) to the report window. The keying
// runs in the screen's step, which then waits for the screen to close after its report, so that the script
// does not take the screen, seen again between the box and the report, for a window out of turn.
void ScriptTestRun(testsupport::ModalScript& script, testsupport::FakeTimeSource& clock, const TestRun& run,
                   TestRunSeen& seen);

// Takes the whole test: its script (steps waited for up to kTestRunWaitMs) under a modal grace as long for
// the scope of the run, `start` (the menu command or the toolbar button) and the wait for the script, after
// which no modal window is left. Failures go to the test.
TestRunSeen TakeTest(testsupport::FakeTimeSource& clock, const TestRun& run, const std::function<void()>& start);

struct ScreenRunPlan {
    QString screenClass;  // kNumericScreen, kAlphanumericScreen or kAlphaScreen
    // The name dialog comes first (real mode, alpha practice): the names keyed into it.
    bool asksName = true;
    QString first;
    QString last;
    MoveOn move = MoveOn::Enter;
    // Screen 1 is keyed whole (its last field moves on to screen 2); screen 2 up to its field
    // `screen2Fields`. A mistake's position, or 0 for none.
    int screen1Mistake = 0;
    int screen2Fields = 2;
    int screen2Mistake = 0;
    // After screen 2's keying: Previous, then Next.
    bool previousAndNext = true;
    // How far the fake clock moves once the keying is done: the test's limit, in seconds.
    double limitSeconds = 0;
};

// What the testee saw.
struct ScreenRunSeen {
    QString captionAtStart;  // screen 1, before the first key
    QString captionOnScreen2;
    QList<KeyedField> screen1;
    QList<KeyedField> screen2;
    QStringList screen1AfterPrevious;  // the entry fields back on screen 1
    QString captionAfterPrevious;
    QStringList screen2AfterNext;  // and forward again on screen 2
    SeenBox complete;              // "Test is complete..."
    QStringList report;            // the report window's lines
};

// Takes the test of `plan` as TakeTest does, its keying that of the plan's two screens.
ScreenRunSeen TakeScreenRun(testsupport::FakeTimeSource& clock, const ScreenRunPlan& plan,
                            const std::function<void()>& start);

// The source texts' lengths of the keyed fields, in position order.
std::vector<int> SourceLengths(const QList<KeyedField>& fields);

}  // namespace e2e
