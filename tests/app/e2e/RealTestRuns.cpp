#include "tests/app/e2e/RealTestRuns.h"

#include <QLineEdit>
#include <QWidget>

#include <gtest/gtest.h>

#include "app/zmain.h"
#include "tests/app/e2e/support/Driving.h"
#include "tests/app/e2e/support/ModalAnswers.h"
#include "tests/app/e2e/support/RunningProgram.h"
#include "tests/support/ModalScript.h"

namespace e2e {

QStringList TakeRealTest(RunningProgram& program, const RealTest& test, int limitSeconds) {
    SeenBox complete;
    QStringList report;
    testsupport::ModalScript script;
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
                })
        .Expect(kMessageBox, AnswerBox(&complete))
        .Expect(kReportWindow, ReadReport(&report));
    Trigger(program.Main(), test.command);
    EXPECT_TRUE(script.WaitDone()) << test.command.toStdString();
    EXPECT_EQ(complete.text, "Test is complete...");
    return report;
}

QString AllWrongFrom(const QString& text, int from) {
    QString wrong = text;
    for (int i = from; i < wrong.size(); ++i) wrong = WithMistake(wrong, i);
    return wrong;
}

}  // namespace e2e
