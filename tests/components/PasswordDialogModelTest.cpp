#include "components/PasswordDialogModel.h"

#include <gtest/gtest.h>

#include "components/SessionRuntime.h"
#include "tests/components/support/SessionFixture.h"

namespace {

using components::PasswordDialogModel;
using components::Session;

class PasswordDialogModelTest : public componenttest::SessionTest {
protected:
    int PasswordCount() { return Session().EngineSession()->Passwords().Count(); }
    bool HasPassword(const std::string& password) {
        return Session().EngineSession()->FindPassword(password);
    }
};

TEST_F(PasswordDialogModelTest, TheButtonsFollowTheTextAndWhetherAPasswordWasAdded) {
    struct Case {
        const char* text;
        bool added;
        bool add, remove, ok;
    };
    const Case cases[] = {
        {"", false, false, false, false},
        {"x", false, true, true, true},
        {"", true, false, false, true},
        {"x", true, true, true, true},
    };
    for (const Case& c : cases) {
        PasswordDialogModel model(Session());
        if (c.added) {
            model.EditChange("first");
            model.AddButtonClick();
        }
        model.EditChange("typed");
        model.EditChange(c.text);
        EXPECT_EQ(model.Text(), c.text);
        EXPECT_EQ(model.Added(), c.added) << c.text << c.added;
        EXPECT_EQ(model.AddEnabled(), c.add) << c.text << c.added;
        EXPECT_EQ(model.RemoveEnabled(), c.remove) << c.text << c.added;
        EXPECT_EQ(model.OKEnabled(), c.ok) << c.text << c.added;
    }
}

TEST_F(PasswordDialogModelTest, AddThenOKWithAnEmptyEditAddsOnePassword) {
    PasswordDialogModel model(Session());
    model.EditChange("Sesame");
    model.AddButtonClick();
    EXPECT_EQ(model.Text(), "");
    EXPECT_TRUE(model.OKEnabled());
    model.OKButtonClick();
    EXPECT_EQ(PasswordCount(), 1);
    EXPECT_TRUE(HasPassword("Sesame"));
}

TEST_F(PasswordDialogModelTest, OKAddsTheTypedPassword) {
    PasswordDialogModel model(Session());
    model.EditChange("Typed");
    model.OKButtonClick();
    EXPECT_TRUE(HasPassword("Typed"));
    EXPECT_FALSE(model.Added());
}

TEST_F(PasswordDialogModelTest, RemoveTakesOutTheTypedPasswordAndRemoveAllKeepsTheText) {
    Session().AddPassword("one");
    Session().AddPassword("two");
    PasswordDialogModel model(Session());
    model.EditChange("one");
    model.RemoveButtonClick();
    EXPECT_EQ(model.Text(), "");
    EXPECT_FALSE(HasPassword("one"));
    EXPECT_TRUE(HasPassword("two"));
    EXPECT_FALSE(model.OKEnabled());

    model.EditChange("kept");
    model.RemoveAllButtonClick();
    EXPECT_EQ(PasswordCount(), 0);
    EXPECT_EQ(model.Text(), "kept");
    EXPECT_TRUE(model.OKEnabled());
}

}  // namespace
