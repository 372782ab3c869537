#include "app/forms/getnameform.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/core/AppState.h"
#include "app/core/Texts.h"
#include "app/core/dbfuncs.h"
#include "db/widgets/QtText.h"
#include "tests/support/AppFixture.h"
#include "tests/support/WaitUntil.h"

namespace app {
namespace {

using db::widgets::ToQString;
using testsupport::ConfigValues;

class GetNameFormTest : public testsupport::AppFixture {
protected:
    // config.dat with the last testee and remembername off, loaded as the program loads it.
    void SetUp() override {
        ConfigValues values;
        values.fname = "Ann";
        values.lname = "Lee";
        values.remembername = false;
        InstallConfig(values);
        dbfuncs.getconfig();
    }
    void Show() { ShowActive(form); }
    QLineEdit& Edit(const char* name) { return *form.findChild<QLineEdit*>(name); }
    void Fill(const QString& first, const QString& last) {
        Edit("Edit1").setText(first);
        Edit("Edit2").setText(last);
    }
    void Ok() { form.findChild<QPushButton*>("BitBtn1")->click(); }

    Tdbfuncs dbfuncs{State(), messages};
    Tgetnameform form{State(), dbfuncs};
};

TEST_F(GetNameFormTest, ShowsTheLastTesteeWithTheFocusOnTheFirstName) {
    Show();
    EXPECT_EQ(form.windowTitle(), ToQString(kNameCaption));
    EXPECT_EQ(form.findChild<QLabel*>("Label1")->text(), ToQString(kFirstNameLabel));
    EXPECT_EQ(form.findChild<QLabel*>("Label2")->text(), ToQString(kLastNameLabel));
    EXPECT_EQ(Edit("Edit1").text(), "Ann");
    EXPECT_EQ(Edit("Edit2").text(), "Lee");
    EXPECT_TRUE(testsupport::waitUntil([this] { return Edit("Edit1").hasFocus(); }));
    QTest::keyClick(&Edit("Edit2"), Qt::Key_F1);
    EXPECT_EQ(help.Requests(), std::vector<std::string>{"1000"});
    form.reject();
}

TEST_F(GetNameFormTest, AnEmptyNameKeepsItOpenWithTheFocusOnIt) {
    const struct {
        const char* first;
        const char* last;
        const char* focused;
    } cases[] = {{"", "Lee", "Edit1"}, {"Ann", "", "Edit2"}, {"", "", "Edit1"}};
    Show();
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.first) + "|" + c.last);
        Fill(QString::fromLatin1(c.first), QString::fromLatin1(c.last));
        Ok();
        EXPECT_TRUE(form.isVisible());
        EXPECT_EQ(form.ModalResult(), mrNone);
        EXPECT_TRUE(Edit(c.focused).hasFocus());
    }
    EXPECT_EQ(State().fname, "Ann");
    EXPECT_EQ(StoredConfig("lname"), "Lee");
    form.reject();
}

// Saved whatever remembername says; blanks count as a name, and the case stays as typed. The table keeps a
// text without its trailing blanks.
TEST_F(GetNameFormTest, OkTakesTheNamesAndStoresThemInConfig) {
    const struct {
        const char* first;
        const char* last;
        const char* storedFirst;
        const char* storedLast;
    } cases[] = {{"Bob", "McKay", "Bob", "McKay"}, {"   ", " ", "", ""}, {"\xE9mile", "Zola", "\xE9mile", "Zola"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.first) + "|" + c.last);
        Show();
        Fill(ToQString(c.first), ToQString(c.last));
        Ok();
        EXPECT_FALSE(form.isVisible());
        EXPECT_EQ(form.ModalResult(), mrOk);
        EXPECT_EQ(State().fname, c.first);
        EXPECT_EQ(State().lname, c.last);
        EXPECT_EQ(StoredConfig("fname"), c.storedFirst);
        EXPECT_EQ(StoredConfig("lname"), c.storedLast);
    }
    // The next showing offers the name just given.
    Show();
    EXPECT_EQ(Edit("Edit1").text(), ToQString("\xE9mile"));
    form.reject();
}

TEST_F(GetNameFormTest, CancelKeepsTheOldNames) {
    for (const bool esc : {false, true}) {
        SCOPED_TRACE(esc ? "Esc" : "Cancel");
        Show();
        Fill(QStringLiteral("Bob"), QStringLiteral("McKay"));
        if (esc) {
            QTest::keyClick(&Edit("Edit1"), Qt::Key_Escape);
        } else {
            form.findChild<QPushButton*>("BitBtn2")->click();
        }
        EXPECT_FALSE(form.isVisible());
        EXPECT_EQ(form.ModalResult(), mrCancel);
        EXPECT_EQ(State().fname, "Ann");
        EXPECT_EQ(State().lname, "Lee");
    }
    EXPECT_EQ(StoredConfig("fname"), "Ann");
    EXPECT_TRUE(messages.Boxes().empty());
}

}  // namespace
}  // namespace app
