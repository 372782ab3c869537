// ScreenRun: one test as a testee takes it, scripted: the name dialog when the command asks, two screens keyed
// with a chosen mistake each, Previous and Next, the fake clock moved to the limit, "Test is complete..." and
// the report window.
#pragma once

#include <QString>
#include <QStringList>

#include "tests/app/e2e/support/ModalAnswers.h"
#include "tests/app/e2e/support/ScreenKeying.h"
#include "tests/support/ModalScript.h"

namespace testsupport {
class FakeTimeSource;
}

namespace e2e {

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
    // After "Test is complete...": the report window.
    bool report = true;
};

// What the testee saw.
struct ScreenRunSeen {
    QString captionAtStart;   // screen 1, before the first key
    QString captionOnScreen2;
    QList<KeyedField> screen1;
    QList<KeyedField> screen2;
    QStringList screen1AfterPrevious;  // the entry fields back on screen 1
    QString captionAfterPrevious;
    QStringList screen2AfterNext;  // and forward again on screen 2
    SeenBox complete;              // "Test is complete..."
    QStringList report;            // the report window's lines
};

// Adds the run's steps to `script`, from the name dialog (when the plan asks) to the report window; the
// scenario then triggers the test command and waits for the script. The keying runs in the screen's step.
void ScriptScreenRun(testsupport::ModalScript& script, testsupport::FakeTimeSource& clock,
                     const ScreenRunPlan& plan, ScreenRunSeen& seen);

}  // namespace e2e
