// The administrator password as an administrator sets, uses and removes it.
#include <QLineEdit>

#include <gtest/gtest.h>

#include "app/forms/FormRegistry.h"
#include "app/forms/zmain.h"
#include "tests/app/e2e/AdminSteps.h"
#include "tests/app/e2e/support/Driving.h"
#include "tests/app/e2e/support/ModalAnswers.h"
#include "tests/app/e2e/support/ScenarioTest.h"
#include "tests/support/ModalScript.h"

namespace e2e {
namespace {

using testsupport::ModalScript;

class PasswordScenarioTest : public ScenarioTest {};

// "abc" set with no gate before it; then the gate asks before Settings, refuses a wrong entry and opens on
// "abc"; a test's Cancel asks too; two blank entries remove the gate again.
TEST_F(PasswordScenarioTest, APasswordGuardsAdminAndATestsCancelUntilTwoBlankEntriesRemoveIt) {
    ASSERT_TRUE(StoredConfig().password.empty());
    const SeenBox set = SetPassword(QStringLiteral("abc"));
    EXPECT_EQ(set.title, "Keyvale");
    EXPECT_EQ(set.text, "Password change successful.");
    EXPECT_EQ(StoredConfig().password, "ABC");

    QString prompt;
    SeenBox wrong;
    bool emptiedAfterWrong = false;
    bool settingsOpened = false;
    {
        ModalScript script;
        script
            .Expect(kPasswordPrompt,
                    [&](QWidget& dialog) {
                        prompt = dialog.windowTitle();
                        EnterPassword(QStringLiteral("xyz"))(dialog);
                    })
            .Expect(kMessageBox, AnswerBox(&wrong))
            .Expect(kPasswordPrompt,
                    [&](QWidget& dialog) {
                        auto& edit = Control<QLineEdit>(dialog, "Edit1");
                        emptiedAfterWrong = edit.text().isEmpty() && WaitForFocus(edit);
                        EnterPassword(QStringLiteral("abc"))(dialog);
                    })
            .Expect(kSettingsDialog, [&](QWidget& dialog) {
                settingsOpened = true;
                PressButton(QStringLiteral("Button2"))(dialog);
            });
        Trigger(Program().Main(), QStringLiteral("Admin/Settings"));
        EXPECT_TRUE(script.WaitDone());
    }
    EXPECT_EQ(prompt, "Password Required");
    EXPECT_EQ(wrong.title, "Error");
    EXPECT_EQ(wrong.text, "Incorrect password.");
    EXPECT_TRUE(emptiedAfterWrong);
    EXPECT_TRUE(settingsOpened);

    // Cancel on a test screen: a cancelled prompt leaves the test going, "abc" ends it.
    bool goesOn = false;
    {
        ModalScript script;
        script
            .Expect(kNumericScreen,
                    [&](QWidget& screen) {
                        Click(Control<QWidget>(screen, "BitBtn1"));
                        goesOn = screen.isVisible() && EntryField(screen, 1).isEnabled();
                        Click(Control<QWidget>(screen, "BitBtn1"));
                    })
            .Expect(kPasswordPrompt, PressButton(QStringLiteral("BitBtn2")))
            .Expect(kPasswordPrompt, EnterPassword(QStringLiteral("abc")));
        Trigger(Program().Main(), QStringLiteral("Tests/Numeric/Practice"));
        EXPECT_TRUE(script.WaitDone());
    }
    EXPECT_TRUE(goesOn);
    EXPECT_FALSE(Program().Form<QWidget>(app::FormSlot::numerictestform).isVisible());

    SeenBox removed;
    {
        ModalScript script;
        script.Expect(kPasswordPrompt, EnterPassword(QStringLiteral("abc")))
            .Expect(kPasswordChange, ChangePassword(QString(), QString()))
            .Expect(kMessageBox, AnswerBox(&removed));
        Trigger(Program().Main(), QStringLiteral("Admin/Password"));
        EXPECT_TRUE(script.WaitDone());
    }
    EXPECT_EQ(removed.text, "Password change successful.");
    EXPECT_TRUE(StoredConfig().password.empty());
    // No prompt any more.
    ModalScript script;
    script.Expect(kSettingsDialog, PressButton(QStringLiteral("Button2")));
    Click(Button(Program().Main(), QStringLiteral("Set")));
    EXPECT_TRUE(script.WaitDone());
}

}  // namespace
}  // namespace e2e
