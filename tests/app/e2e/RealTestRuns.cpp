#include "tests/app/e2e/RealTestRuns.h"

#include <QLineEdit>
#include <QWidget>

#include <gtest/gtest.h>

#include "app/zmain.h"
#include "tests/app/e2e/support/Driving.h"
#include "tests/app/e2e/support/ModalAnswers.h"
#include "tests/app/e2e/support/RunningProgram.h"
#include "tests/support/ModalGrace.h"
#include "tests/support/ModalScript.h"
#include "tests/support/WaitUntil.h"

namespace e2e {

namespace {

// How long a step of the test may take to come, and its window to stay open: a second's tick, with room.
constexpr int kTickWaitMs = 10000;

}  // namespace

QStringList TakeRealTest(RunningProgram& program, const RealTest& test, int limitSeconds) {
    SeenBox complete;
    QStringList report;
    // The screen waits for its next tick, up to a second, with its window open; a loaded machine may take
    // longer.
    testsupport::ScopedModalGrace grace(kTickWaitMs);
    testsupport::ModalScript script(kTickWaitMs);
    script.Expect(kNameDialog, EnterName(test.first, test.last))
        .Expect(test.screen,
                [&](QWidget& screen) {
                    if (!WaitForFocus(EntryField(screen, 1))) {
                        ADD_FAILURE() << "the first entry field of " << test.screen.toStdString()
                                      << " did not get the focus";
                        return;
                    }
                    test.keying(screen);
                    AdvanceClock(program.Clock(), limitSeconds);
                    // The end comes from the screen's tick: its box and report open over the screen, which
                    // closes after them. Waiting here keeps the screen this step's own until then, so that the
                    // script does not take it, seen between the box and the report, for a window out of turn.
                    EXPECT_TRUE(testsupport::waitUntil([&screen] { return !screen.isVisible(); }, kTickWaitMs))
                        << test.command.toStdString() << ": the screen did not close after its report";
                })
        .Expect(kMessageBox, AnswerBox(&complete))
        .Expect(kReportWindow, ReadReport(&report));
    Trigger(program.Main(), test.command);
    EXPECT_TRUE(script.WaitDone()) << test.command.toStdString();
    EXPECT_EQ(complete.text.toStdString(), "Test is complete...");
    return report;
}

QString AllWrongFrom(const QString& text, int from) {
    QString wrong = text;
    for (int i = from; i < wrong.size(); ++i) wrong = WithMistake(wrong, i);
    return wrong;
}

}  // namespace e2e
