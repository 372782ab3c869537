#include "app/forms/passwordchangeform.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
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
using testsupport::Box;
using testsupport::BoxKind;
using testsupport::ConfigValues;

const Box kNotChangedBox{BoxKind::Information, std::string(kTitle), std::string(kPasswordNotChanged)};

class PasswordChangeFormTest : public testsupport::AppFixture {
protected:
    // config.dat holding `stored`, loaded as the program loads it.
    void Install(const char* stored) {
        ConfigValues values;
        values.password = stored;
        InstallConfig(values);
        dbfuncs.getconfig();
    }
    void Show() { ShowActive(form); }
    QLineEdit& Edit(const char* name) { return *form.findChild<QLineEdit*>(name); }
    void Enter(const char* first, const char* second) {
        QTest::keyClicks(&Edit("Edit1"), first);
        QTest::keyClicks(&Edit("Edit2"), second);
        form.findChild<QPushButton*>("BitBtn1")->click();
    }

    Tdbfuncs dbfuncs{State(), messages};
    Tpasswordchangeform form{State(), messages, dbfuncs};
};

TEST_F(PasswordChangeFormTest, ShowsItsTextsWithBothEditsEmpty) {
    Install("OLD");
    Edit("Edit1").setText(QStringLiteral("X"));
    Edit("Edit2").setText(QStringLiteral("Y"));
    Show();
    EXPECT_EQ(form.windowTitle(), ToQString(kPasswordChangeCaption));
    EXPECT_EQ(form.findChild<QLabel*>("Label1")->text(), ToQString(kEnterNewPassword));
    EXPECT_EQ(form.findChild<QLabel*>("Label2")->text(), ToQString(kEnterAgain));
    EXPECT_EQ(form.findChild<QLabel*>("Label3")->text(), ToQString(kLeaveBlank));
    EXPECT_TRUE(Edit("Edit1").text().isEmpty());
    EXPECT_TRUE(Edit("Edit2").text().isEmpty());
    EXPECT_EQ(Edit("Edit2").echoMode(), QLineEdit::Password);
    EXPECT_EQ(Edit("Edit2").maxLength(), 10);
    EXPECT_TRUE(testsupport::waitUntil([this] { return Edit("Edit1").hasFocus(); }));
    QTest::keyClick(&Edit("Edit2"), Qt::Key_F1);
    EXPECT_EQ(help.Requests(), std::vector<std::string>{"8000"});
    form.reject();
    messages.Clear();
}

// The two entries are compared as typed, blanks included.
TEST_F(PasswordChangeFormTest, DifferentEntriesStayOpenEmptiedWithTheFocusOnTheFirst) {
    Install("OLD");
    Show();
    for (const auto& [first, second] : std::vector<std::pair<const char*, const char*>>{
             {"ab", "ac"}, {"xy", " xy"}, {"", "a"}}) {
        SCOPED_TRACE(std::string(first) + "|" + second);
        messages.Clear();
        Enter(first, second);
        EXPECT_EQ(messages.Boxes(), (std::vector<Box>{{BoxKind::Error, "Error", std::string(kPasswordsDiffer)}}));
        EXPECT_TRUE(form.isVisible());
        EXPECT_TRUE(Edit("Edit1").text().isEmpty());
        EXPECT_TRUE(Edit("Edit2").text().isEmpty());
        EXPECT_TRUE(Edit("Edit1").hasFocus());
    }
    EXPECT_EQ(State().password, "OLD");
    EXPECT_EQ(StoredConfig("password"), "OLD");
    form.reject();
    messages.Clear();
}

TEST_F(PasswordChangeFormTest, TheSameEntryTwiceIsStoredTrimmedInMemoryAndInTheFile) {
    const struct {
        const char* typed;
        const char* kept;
    } cases[] = {{" xy ", "XY"}, {"", ""}, {"   ", ""}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("'") + c.typed + "'");
        Install("OLD");
        messages.Clear();
        Show();
        Enter(c.typed, c.typed);
        EXPECT_FALSE(form.isVisible());
        EXPECT_EQ(form.ModalResult(), mrOk);
        EXPECT_EQ(messages.Boxes(),
                  (std::vector<Box>{{BoxKind::Information, std::string(kTitle), std::string(kPasswordChanged)}}));
        EXPECT_EQ(State().password, c.kept);
        EXPECT_EQ(StoredConfig("password"), c.kept);
        for (const std::string& file : keyvalesetup::TableFileNames(State().progdir, testsupport::ConfigSpec())) {
            std::remove(file.c_str());
        }
    }
}

TEST_F(PasswordChangeFormTest, ASaveThatFailsKeepsTheOldPasswordInMemoryAndInTheFile) {
    Install("OLD");
    auto other = OpenConfig();
    other->Edit();  // another copy of the program holds the record
    dbfuncs.configdb.SetLockRetryCount(0);
    Show();
    Enter("new", "new");
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(messages.Boxes(), (std::vector<Box>{{BoxKind::Error, "Error", std::string(kPasswordNotSaved)}}));
    EXPECT_EQ(State().password, "OLD");
    other->Cancel();
    other.reset();
    EXPECT_EQ(StoredConfig("password"), "OLD");
}

TEST_F(PasswordChangeFormTest, CancelEscAndTheCloseBoxSayNothingChanged) {
    Install("OLD");
    const std::vector<std::pair<const char*, std::function<void()>>> ways = {
        {"Cancel", [this] { form.findChild<QPushButton*>("BitBtn2")->click(); }},
        {"Esc", [this] { QTest::keyClick(&Edit("Edit1"), Qt::Key_Escape); }},
        {"close box", [this] { form.close(); }},
    };
    for (const auto& [name, way] : ways) {
        SCOPED_TRACE(name);
        messages.Clear();
        Show();
        QTest::keyClicks(&Edit("Edit1"), "new");
        QTest::keyClicks(&Edit("Edit2"), "new");
        way();
        EXPECT_FALSE(form.isVisible());
        EXPECT_EQ(form.ModalResult(), mrCancel);
        EXPECT_EQ(messages.Boxes(), std::vector<Box>{kNotChangedBox});
        EXPECT_EQ(State().password, "OLD");
    }
    EXPECT_EQ(StoredConfig("password"), "OLD");
}

}  // namespace
}  // namespace app
