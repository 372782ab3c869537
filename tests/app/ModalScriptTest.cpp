#include "tests/support/ModalScript.h"

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include "tests/support/WaitUntil.h"

namespace testsupport {
namespace {

QDialog& AsDialog(QWidget& modal) {
    return static_cast<QDialog&>(modal);
}

TEST(ModalScriptTest, AnswersADialogARealBoxAndANestedDialogInOrder) {
    QDialog outer;
    outer.setObjectName("Outer");
    QDialog inner(&outer);
    inner.setObjectName("Inner");
    std::vector<std::string> order;
    int boxAnswer = 0;
    int innerResult = -1;
    ModalScript script;
    script
        .Expect("QDialog", "Outer",
                [&](QWidget& modal) {
                    order.push_back("outer");
                    boxAnswer = QMessageBox::question(&modal, "Question", "Go on?");
                    innerResult = inner.exec();
                    AsDialog(modal).accept();
                })
        .Expect("QMessageBox",
                [&](QWidget& modal) {
                    order.push_back("box");
                    auto& box = static_cast<QMessageBox&>(modal);
                    box.button(QMessageBox::Yes)->click();
                })
        .Expect("QDialog", "Inner", [&](QWidget& modal) {
            order.push_back("inner");
            AsDialog(modal).reject();
        });
    EXPECT_EQ(outer.exec(), QDialog::Accepted);
    EXPECT_TRUE(script.WaitDone());
    EXPECT_EQ(order, (std::vector<std::string>{"outer", "box", "inner"}));
    EXPECT_EQ(boxAnswer, QMessageBox::Yes);
    EXPECT_EQ(innerResult, QDialog::Rejected);
}

TEST(ModalScriptTest, AnUnexpectedModalFailsWithItsNameAndIsClosed) {
    QDialog dialog;
    dialog.setObjectName("Surprise");
    dialog.setWindowTitle("Unasked");
    ModalScript script;
    script.Expect("QMessageBox", [](QWidget&) {});
    EXPECT_EQ(dialog.exec(), QDialog::Rejected);
    const QStringList failures = script.TakeFailures();
    ASSERT_EQ(failures.size(), 1);
    EXPECT_TRUE(failures[0].contains("QDialog \"Surprise\" \"Unasked\"")) << failures[0].toStdString();
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

// A window nobody answers: the step times out, the exec() returns and the next test finds no window.
TEST(ModalScriptTest, AStuckExecIsEndedWhenTheAwaitedStepDoesNotCome) {
    QDialog dialog;
    dialog.setObjectName("Stuck");
    ModalScript script(300);
    script.Expect("QDialog", "Stuck", [](QWidget&) {}).Expect("QMessageBox", [](QWidget&) {});
    EXPECT_EQ(dialog.exec(), QDialog::Rejected);
    const QStringList failures = script.TakeFailures();
    ASSERT_EQ(failures.size(), 1);
    EXPECT_TRUE(failures[0].contains("step 2 waited 300 ms for a QMessageBox")) << failures[0].toStdString();
}

TEST(ModalScriptTest, AWindowLeftOpenAfterTheLastStepFailsAndIsClosed) {
    QDialog dialog;
    dialog.setObjectName("LeftOpen");
    ModalScript script(300);
    script.Expect("QDialog", "LeftOpen", [](QWidget&) {});
    EXPECT_EQ(dialog.exec(), QDialog::Rejected);
    const QStringList failures = script.TakeFailures();
    ASSERT_EQ(failures.size(), 1);
    EXPECT_TRUE(failures[0].contains("stayed open 300 ms after the last step")) << failures[0].toStdString();
}

// A window that closes itself later (a generator after its run) is the last step's to wait for.
TEST(ModalScriptTest, TheLastStepsWindowMayCloseItselfLater) {
    QDialog dialog;
    dialog.setObjectName("ClosesItself");
    ModalScript script;
    script.Expect("QDialog", "ClosesItself", [](QWidget& modal) {
        QTimer::singleShot(100, &modal, [&modal] { static_cast<QDialog&>(modal).accept(); });
    });
    EXPECT_EQ(dialog.exec(), QDialog::Accepted);
    EXPECT_TRUE(script.WaitDone());
    EXPECT_TRUE(script.TakeFailures().isEmpty());
}

// A window an earlier step handled comes back on top when the window it opened closes, and works there a
// while before it opens the next (a test screen scoring before its report): the script waits for it.
TEST(ModalScriptTest, AnEarlierStepsWindowBackOnTopIsWaitedFor) {
    QDialog dialog;
    dialog.setObjectName("Works");
    const auto work = [&dialog] {
        QMessageBox::information(&dialog, "First", "First");
        waitUntil([] { return false; }, 200);
        QMessageBox::information(&dialog, "Second", "Second");
        dialog.accept();
    };
    const auto pressOk = [](QWidget& modal) { static_cast<QMessageBox&>(modal).button(QMessageBox::Ok)->click(); };
    ModalScript script;
    script.Expect("QDialog", "Works", [&](QWidget&) { QTimer::singleShot(0, &dialog, work); })
        .Expect("QMessageBox", pressOk)
        .Expect("QMessageBox", pressOk);
    EXPECT_EQ(dialog.exec(), QDialog::Accepted);
    EXPECT_TRUE(script.WaitDone());
    EXPECT_TRUE(script.TakeFailures().isEmpty());
}

}  // namespace
}  // namespace testsupport
