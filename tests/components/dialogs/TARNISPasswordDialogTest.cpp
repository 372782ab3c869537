#include "components/dialogs/TARNISPasswordDialog.h"

#include <QApplication>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "components/ComponentTexts.h"
#include "components/SessionRuntime.h"
#include "components/dialogs/DialogTexts.h"
#include "engine/base/EngineErrorCodes.h"
#include "rtl/ExceptionHook.h"
#include "tests/components/support/SessionFixture.h"

namespace {

using components::Session;
using components::dialogs::PasswordDialog;
using components::dialogs::TTARNISPasswordDialog;
using componenttest::kTablePassword;
using componenttest::OpenCode;

QString Q(std::string_view text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

// Acts on the password dialog once it is the modal window, as a user would.
class ModalDriver {
public:
    explicit ModalDriver(std::function<void(TTARNISPasswordDialog&)> action) : action_(std::move(action)) {
        timer_.setInterval(10);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            auto* dialog = qobject_cast<TTARNISPasswordDialog*>(QApplication::activeModalWidget());
            if (dialog == nullptr) return;
            timer_.stop();
            ++shown_;
            action_(*dialog);
        });
        timer_.start();
    }

    int Shown() const { return shown_; }

private:
    std::function<void(TTARNISPasswordDialog&)> action_;
    QTimer timer_;
    int shown_ = 0;
};

class TARNISPasswordDialogTest : public componenttest::SessionTest {
protected:
    bool HasPassword(const std::string& password) {
        return Session().EngineSession()->FindPassword(password);
    }

    // Shows the dialog (not modal) with the keyboard focus in it.
    static void Show(TTARNISPasswordDialog& dialog) {
        dialog.show();
        dialog.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    }
};

TEST_F(TARNISPasswordDialogTest, TheFormIsLaidOutAsDesigned) {
    // A window in a corner: the dialog still comes up in the middle of the screen, not over it.
    QWidget window;
    window.setGeometry(0, 0, 120, 90);
    window.show();
    TTARNISPasswordDialog dialog(Session(), &window);
    EXPECT_EQ(dialog.objectName(), "TARNISPasswordDialog");
    EXPECT_EQ(dialog.windowTitle(), "Enter password");
    EXPECT_EQ(dialog.size(), QSize(273, 132));
    EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize());

    struct Control {
        QWidget* widget;
        const char* name;
        QRect rect;
        QString caption;
    };
    const Control controls[] = {
        {dialog.GroupBox1, "GroupBox1", QRect(8, 8, 257, 81), "Password"},
        {dialog.Edit, "Edit", QRect(16, 18, 225, 21), ""},
        {dialog.AddButton, "AddButton", QRect(16, 46, 65, 25), "&Add"},
        {dialog.RemoveButton, "RemoveButton", QRect(88, 46, 65, 25), "&Remove"},
        {dialog.RemoveAllButton, "RemoveAllButton", QRect(160, 46, 81, 25), "Re&move all"},
        {dialog.OKButton, "OKButton", QRect(109, 98, 75, 25), "&OK"},
        {dialog.CancelButton, "CancelButton", QRect(190, 98, 75, 25), "Cancel"},
    };
    for (const Control& c : controls) {
        EXPECT_EQ(c.widget->objectName(), c.name);
        EXPECT_EQ(c.widget->geometry(), c.rect) << c.name;
        if (auto* button = qobject_cast<QPushButton*>(c.widget)) {
            EXPECT_EQ(button->text(), c.caption) << c.name;
        }
    }
    EXPECT_EQ(dialog.GroupBox1->title(), Q(components::dialogs::kPasswordGroupCaption));
    EXPECT_EQ(dialog.Edit->parentWidget(), dialog.GroupBox1);
    EXPECT_EQ(dialog.Edit->echoMode(), QLineEdit::Password);
    EXPECT_TRUE(dialog.Edit->styleSheet().contains("lineedit-password-character: 42"));
    EXPECT_TRUE(dialog.OKButton->isDefault());

    EXPECT_FALSE(dialog.AddButton->isEnabled());
    EXPECT_FALSE(dialog.RemoveButton->isEnabled());
    EXPECT_TRUE(dialog.RemoveAllButton->isEnabled());
    EXPECT_FALSE(dialog.OKButton->isEnabled());
    EXPECT_TRUE(dialog.CancelButton->isEnabled());
    Show(dialog);
    EXPECT_EQ(dialog.focusWidget(), dialog.Edit);
    // Centred on the screen.
    const QPoint offset = dialog.frameGeometry().center() - dialog.screen()->availableGeometry().center();
    EXPECT_LE(offset.manhattanLength(), 2);
}

TEST_F(TARNISPasswordDialogTest, TypingEnablesTheButtonsAndClearingTheEditDisablesThemAgain) {
    TTARNISPasswordDialog dialog(Session());
    Show(dialog);
    QTest::keyClicks(dialog.Edit, "ab");
    EXPECT_TRUE(dialog.AddButton->isEnabled());
    EXPECT_TRUE(dialog.RemoveButton->isEnabled());
    EXPECT_TRUE(dialog.OKButton->isEnabled());
    dialog.Edit->clear();
    EXPECT_FALSE(dialog.AddButton->isEnabled());
    EXPECT_FALSE(dialog.RemoveButton->isEnabled());
    EXPECT_FALSE(dialog.OKButton->isEnabled());
}

TEST_F(TARNISPasswordDialogTest, AddPutsTheTypedPasswordInTheListAndTheFocusBackInTheEdit) {
    TTARNISPasswordDialog dialog(Session());
    Show(dialog);
    QTest::keyClicks(dialog.Edit, "first");
    QTest::mouseClick(dialog.AddButton, Qt::LeftButton);
    EXPECT_TRUE(HasPassword("first"));
    EXPECT_EQ(dialog.Edit->text(), "");
    EXPECT_EQ(dialog.focusWidget(), dialog.Edit);
    EXPECT_FALSE(dialog.AddButton->isEnabled());
    EXPECT_TRUE(dialog.OKButton->isEnabled());

    QTest::keyClicks(dialog.Edit, "first");
    QTest::mouseClick(dialog.RemoveButton, Qt::LeftButton);
    EXPECT_FALSE(HasPassword("first"));
    EXPECT_EQ(dialog.Edit->text(), "");
    EXPECT_EQ(dialog.focusWidget(), dialog.Edit);

    Session().AddPassword("other");
    QTest::keyClicks(dialog.Edit, "kept");
    QTest::mouseClick(dialog.RemoveAllButton, Qt::LeftButton);
    EXPECT_FALSE(HasPassword("other"));
    EXPECT_EQ(dialog.Edit->text(), "kept");
    EXPECT_EQ(dialog.focusWidget(), dialog.Edit);
}

TEST_F(TARNISPasswordDialogTest, EnterDoesNothingWhileOKIsDisabledAndOtherwiseAddsAndAccepts) {
    TTARNISPasswordDialog dialog(Session());
    Show(dialog);
    QTest::keyClick(dialog.Edit, Qt::Key_Return);
    EXPECT_TRUE(dialog.isVisible());

    QTest::keyClicks(dialog.Edit, "typed");
    QTest::keyClick(dialog.Edit, Qt::Key_Return);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_TRUE(HasPassword("typed"));
}

TEST_F(TARNISPasswordDialogTest, EscAndCancelRejectAndTheListKeepsItsChanges) {
    for (const bool escape : {true, false}) {
        Session().RemoveAllPasswords();
        TTARNISPasswordDialog dialog(Session());
        Show(dialog);
        QTest::keyClicks(dialog.Edit, "added");
        QTest::mouseClick(dialog.AddButton, Qt::LeftButton);
        QTest::keyClicks(dialog.Edit, "typed");
        if (escape) {
            QTest::keyClick(dialog.Edit, Qt::Key_Escape);
        } else {
            QTest::mouseClick(dialog.CancelButton, Qt::LeftButton);
        }
        EXPECT_FALSE(dialog.isVisible()) << escape;
        EXPECT_EQ(dialog.result(), QDialog::Rejected) << escape;
        EXPECT_TRUE(HasPassword("added")) << escape;
        EXPECT_FALSE(HasPassword("typed")) << escape;
    }
}

TEST_F(TARNISPasswordDialogTest, AProtectedTableOpensWithThePasswordTypedInTheDialog) {
    componenttest::CreateProtectedTable(Session());
    runtime_.SetPasswordHook(PasswordDialog);
    ModalDriver user([](TTARNISPasswordDialog& dialog) {
        EXPECT_EQ(dialog.windowTitle(), "Enter password");
        QTest::keyClicks(dialog.Edit, QString::fromStdString(kTablePassword));
        QTest::mouseClick(dialog.OKButton, Qt::LeftButton);
    });
    int calls = 0;
    EXPECT_EQ(OpenCode(Session(), componenttest::kProtectedTable, &calls), 0);
    EXPECT_EQ(user.Shown(), 1);
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(HasPassword(kTablePassword));
}

TEST_F(TARNISPasswordDialogTest, CancelInTheDialogRefusesTheOpen) {
    componenttest::CreateProtectedTable(Session());
    runtime_.SetPasswordHook(PasswordDialog);
    ModalDriver user([](TTARNISPasswordDialog& dialog) {
        QTest::keyClicks(dialog.Edit, "wrong");
        QTest::mouseClick(dialog.CancelButton, Qt::LeftButton);
    });
    int calls = 0;
    EXPECT_EQ(OpenCode(Session(), componenttest::kProtectedTable, &calls), engine::ErrInsufficientRights);
    EXPECT_EQ(user.Shown(), 1);
    EXPECT_EQ(calls, 1);
}

TEST_F(TARNISPasswordDialogTest, WithoutAHookNoDialogShowsAndTheOpenFailsAtOnce) {
    componenttest::CreateProtectedTable(Session());
    ModalDriver user([](TTARNISPasswordDialog& dialog) { dialog.reject(); });
    EXPECT_EQ(OpenCode(Session()), engine::ErrInsufficientRights);
    QTest::qWait(30);
    EXPECT_EQ(user.Shown(), 0);
}

TEST_F(TARNISPasswordDialogTest, AFailureOfTheSessionGoesToTheApplicationHandlerAndOKStaysOpen) {
    std::vector<std::string> messages;
    const rtl::ExceptionHandler previous = rtl::SetExceptionHandler(
        [&](std::exception_ptr error) { messages.push_back(rtl::ExceptionMessage(error)); });
    // A session without a name cannot start, so it takes no password.
    auto* unnamed = new components::TTARNISSession(nullptr);
    {
        TTARNISPasswordDialog dialog(*unnamed);
        Show(dialog);
        QTest::keyClicks(dialog.Edit, "typed");
        QTest::mouseClick(dialog.AddButton, Qt::LeftButton);
        QTest::mouseClick(dialog.OKButton, Qt::LeftButton);
        EXPECT_TRUE(dialog.isVisible());
        EXPECT_EQ(dialog.focusWidget(), dialog.Edit);
        dialog.reject();
    }
    rtl::SetExceptionHandler(previous);
    const std::vector<std::string> expected(2, std::string(components::kSessionNameMissing));
    EXPECT_EQ(messages, expected);
}

}  // namespace
