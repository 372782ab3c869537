#include "app/forms/getpasswordForm.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/core/AppState.h"
#include "app/core/Texts.h"
#include "db/widgets/QtText.h"
#include "tests/support/AppFixture.h"
#include "tests/support/WaitUntil.h"

namespace app {
namespace {

using db::widgets::ToQString;
using testsupport::Box;
using testsupport::BoxKind;

class GetPasswordFormTest : public testsupport::AppFixture {
protected:
    void Show() { ShowActive(form); }
    QLineEdit& Edit1() { return *form.findChild<QLineEdit*>("Edit1"); }
    void Enter(const char* typed) {
        QTest::keyClicks(&Edit1(), typed);
        form.findChild<QPushButton*>("BitBtn1")->click();
    }

    TgetpasswordForm form{State(), messages};
};

TEST_F(GetPasswordFormTest, ShowsItsTextsAndStartsEmptyWithTheVerdictFalse) {
    State().password = "ABC";
    State().passwordok = true;
    Edit1().setText(QStringLiteral("OLD"));
    Show();
    EXPECT_EQ(form.windowTitle(), ToQString(kPasswordRequiredCaption));
    EXPECT_EQ(form.findChild<QLabel*>("Label1")->text(), ToQString(kEnterYourPassword));
    EXPECT_FALSE(form.findChild<QLabel*>("Image1")->pixmap().isNull());
    EXPECT_EQ(form.findChild<QPushButton*>("BitBtn1")->text(), ToQString(kOk));
    EXPECT_EQ(form.findChild<QPushButton*>("BitBtn2")->text(), ToQString(kCancel));
    EXPECT_FALSE(State().passwordok);
    EXPECT_TRUE(Edit1().text().isEmpty());
    EXPECT_TRUE(testsupport::waitUntil([this] { return Edit1().hasFocus(); }));
    QTest::keyClick(&Edit1(), Qt::Key_F1);
    EXPECT_EQ(help.Requests(), std::vector<std::string>{"8000"});
    form.reject();
}

// Both sides lose their surrounding blanks; what is left must match byte for byte.
TEST_F(GetPasswordFormTest, AcceptsTheStoredPasswordWhateverTheBlanksAround) {
    const struct {
        const char* stored;
        const char* typed;
    } cases[] = {{"ABC", "abc"}, {"ABC", " ABC  "}, {" ABC ", "abc"}, {"A B", "a b"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.stored) + "|" + c.typed);
        State().password = c.stored;
        Show();
        Enter(c.typed);
        EXPECT_FALSE(form.isVisible());
        EXPECT_EQ(form.ModalResult(), mrOk);
        EXPECT_TRUE(State().passwordok);
        EXPECT_TRUE(messages.Boxes().empty());
    }
}

TEST_F(GetPasswordFormTest, AWrongEntryStaysOpenEmptiedAndFocusedAsOftenAsTried) {
    State().password = "ABC";
    Show();
    for (const char* wrong : {"abd", "ab", "", "abcd"}) {
        SCOPED_TRACE(wrong);
        messages.Clear();
        Enter(wrong);
        EXPECT_EQ(messages.Boxes(), (std::vector<Box>{{BoxKind::Error, "Error", std::string(kIncorrectPassword)}}));
        EXPECT_TRUE(form.isVisible());
        EXPECT_EQ(form.ModalResult(), mrNone);
        EXPECT_TRUE(Edit1().text().isEmpty());
        EXPECT_TRUE(Edit1().hasFocus());
        EXPECT_FALSE(State().passwordok);
    }
    Enter("abc");
    EXPECT_FALSE(form.isVisible());
    EXPECT_TRUE(State().passwordok);
}

TEST_F(GetPasswordFormTest, CancelAndEscLeaveTheVerdictFalse) {
    State().password = "ABC";
    for (const bool esc : {false, true}) {
        SCOPED_TRACE(esc ? "Esc" : "Cancel");
        Show();
        QTest::keyClicks(&Edit1(), "abc");
        if (esc) {
            QTest::keyClick(&Edit1(), Qt::Key_Escape);
        } else {
            form.findChild<QPushButton*>("BitBtn2")->click();
        }
        EXPECT_FALSE(form.isVisible());
        EXPECT_EQ(form.ModalResult(), mrCancel);
        EXPECT_FALSE(State().passwordok);
    }
    EXPECT_TRUE(messages.Boxes().empty());
}

}  // namespace
}  // namespace app
