#include "app/forms/settingsform.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "app/core/ExceptionText.h"
#include "app/core/dbfuncs.h"
#include "app/forms/DataModule.h"
#include "app/forms/FormRegistry.h"
#include "app/program/Program.h"
#include "components/TARNISTable.h"
#include "db/Field.h"
#include "rtl/ExceptionHook.h"
#include "tests/support/AppFixture.h"
#include "tests/support/WaitUntil.h"

namespace app {
namespace {

using testsupport::Box;
using testsupport::BoxKind;
using testsupport::ConfigValues;

const Box kMaximumBox{BoxKind::Error, "Error", "Maximum time is 30"};

class SettingsFormTest : public testsupport::AppFixture {
public:  // the case tables' lambdas drive the dialog too
    // Opens the dialog over an installed config.dat, active, with the focus in DBEdit1.
    void Show() {
        form = std::make_unique<Tsettingsform>(State(), messages, [this] { dbfuncs.getconfig(); });
        ShowForm(*form);
    }
    void ShowForm(Tsettingsform& dialog) {
        shown = &dialog;
        ShowActive(dialog);
        Edit1().setFocus(Qt::TabFocusReason);
        ASSERT_TRUE(testsupport::waitUntil([this] { return Edit1().hasFocus(); }));
    }

    template <class T>
    T& Child(const char* name) {
        T* child = shown->findChild<T*>(name);
        if (child == nullptr) throw std::logic_error(std::string("no ") + name);
        return *child;
    }
    QLineEdit& Edit1() { return Child<QLineEdit>("DBEdit1"); }
    QPushButton& Save() { return Child<QPushButton>("Button1"); }

    // Replaces DBEdit1's text by typing.
    void Type(const char* text) {
        Edit1().selectAll();
        QTest::keyClicks(&Edit1(), text);
    }
    void AltS() {
        QTest::keyClick(shown, Qt::Key_S, Qt::AltModifier);
        QApplication::processEvents();
    }
    bool WaitClosed() {
        return testsupport::waitUntil([this] { return !shown->isVisible(); });
    }

    // For the next case of a table: no dialog, no boxes, no config.dat.
    void StartAgain() {
        form.reset();
        messages.Clear();
        for (const std::string& file : keyvalesetup::TableFileNames(State().progdir, testsupport::ConfigSpec())) {
            std::filesystem::remove(file);
        }
    }

    // Whether another copy of the program could put the record into edit now.
    bool OtherCanEdit() {
        auto other = OpenConfig();
        try {
            other->Edit();
        } catch (...) {
            return false;
        }
        other->Cancel();
        return true;
    }

    Tdbfuncs dbfuncs{State(), messages};
    std::unique_ptr<Tsettingsform> form;
    Tsettingsform* shown = nullptr;  // the dialog the helpers drive
};

TEST_F(SettingsFormTest, ShowsTheRecordWithItsTextsAndHelp) {
    ConfigValues values;
    values.useuppercase = true;
    values.autoadvance = true;
    values.remembername = false;
    InstallConfig(values);
    Show();
    EXPECT_EQ(form->windowTitle(), "Settings");
    EXPECT_EQ(Edit1().text(), "5");
    EXPECT_EQ(Child<QLineEdit>("DBEdit2").text(), "5");
    EXPECT_TRUE(Child<QCheckBox>("DBCheckBox1").isChecked());
    EXPECT_FALSE(Child<QCheckBox>("DBCheckBox2").isChecked());
    EXPECT_FALSE(Child<QCheckBox>("DBCheckBox3").isChecked());
    EXPECT_TRUE(Child<QCheckBox>("DBCheckBox4").isChecked());
    EXPECT_TRUE(Child<QCheckBox>("DBCheckBox5").isChecked());
    EXPECT_TRUE(Child<QCheckBox>("DBCheckBox6").isChecked());
    EXPECT_EQ(Child<QComboBox>("DBComboBox1").currentText(), "5");
    EXPECT_EQ(Child<QComboBox>("DBComboBox2").currentText(), "0");
    EXPECT_EQ(Child<QComboBox>("DBComboBox2").count(), 23);
    EXPECT_EQ(Child<QComboBox>("DBComboBox1").count(), 6);
    EXPECT_EQ(Edit1().toolTip(), "Sets the time allowed for real mode tests. Maximum is 30");
    EXPECT_EQ(Child<QCheckBox>("DBCheckBox4").toolTip(), "Check to show results upon practice test completeion");
    EXPECT_EQ(Child<QComboBox>("DBComboBox1").toolTip(),
              "Specifies field width. Set to 0 for variable width. Create a new test if this value is changed");
    EXPECT_EQ(Save().text(), "&Save");
    EXPECT_EQ(Save().toolTip(), "Save changes and exit");
    EXPECT_FALSE(Save().isDefault());
    EXPECT_FALSE(Save().autoDefault());
    QTest::keyClick(&Edit1(), Qt::Key_F1);
    EXPECT_EQ(help.Requests(), std::vector<std::string>{"7000"});
    form->reject();
}

TEST_F(SettingsFormTest, LeavingATimeAboveThirtyRefusesWithTheFocusBackButKeepsTheValue) {
    const struct {
        const char* typed;
        bool refused;
    } cases[] = {{"31", true}, {"30", false}, {"0", false}, {"-5", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        InstallConfig();
        Show();
        Type(c.typed);
        QTest::keyClick(&Edit1(), Qt::Key_Tab);
        QApplication::processEvents();
        if (c.refused) {
            EXPECT_EQ(messages.Boxes(), std::vector<Box>{kMaximumBox});
            EXPECT_TRUE(Edit1().hasFocus());
        } else {
            EXPECT_TRUE(messages.Boxes().empty());
            EXPECT_FALSE(Edit1().hasFocus());
        }
        EXPECT_EQ(form->configdb.FieldByName("realtime").AsString(), c.typed);
        form->reject();
        StartAgain();
    }
}

TEST_F(SettingsFormTest, SaveRefusesATimeAboveThirtyThatNeverLeftTheEdit) {
    const struct {
        const char* how;
        bool byMouse;
    } cases[] = {{"Alt+S", false}, {"mouse", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.how);
        InstallConfig();
        Show();
        Type("31");
        if (c.byMouse) {
            QTest::mouseClick(&Save(), Qt::LeftButton);
        } else {
            AltS();
            ASSERT_TRUE(testsupport::waitUntil([this] { return !messages.Boxes().empty(); }));
        }
        QApplication::processEvents();
        EXPECT_EQ(messages.Boxes(), std::vector<Box>{kMaximumBox});
        EXPECT_TRUE(Edit1().hasFocus());
        EXPECT_TRUE(form->isVisible());
        // Nothing posted: the record is still locked in edit, and the file holds 5.
        EXPECT_FALSE(OtherCanEdit());
        EXPECT_EQ(StoredConfig("realtime"), "5");
        form->reject();
        StartAgain();
    }
}

TEST_F(SettingsFormTest, SavePostsReloadsAndClosesAndReleasesTheLock) {
    InstallConfig();
    Show();
    Type("30");
    EXPECT_FALSE(OtherCanEdit());
    AltS();
    ASSERT_TRUE(WaitClosed());
    EXPECT_EQ(form->ModalResult(), mrOk);
    EXPECT_TRUE(messages.Boxes().empty());
    EXPECT_EQ(StoredConfig("realtime"), "30");
    EXPECT_EQ(State().realtime, 30);
    EXPECT_EQ(State().width, 5);
    EXPECT_FALSE(form->configdb.Active());
    EXPECT_TRUE(OtherCanEdit());
}

TEST_F(SettingsFormTest, SaveWithoutAChangeClosesWithoutReloading) {
    InstallConfig();
    State().realtime = 77;
    Show();
    Save().click();
    ASSERT_TRUE(WaitClosed());
    EXPECT_EQ(form->ModalResult(), mrOk);
    EXPECT_EQ(State().realtime, 77);
    EXPECT_TRUE(messages.Boxes().empty());
}

TEST_F(SettingsFormTest, CancelAndEscDiscardTheChangesAndReleaseTheLock) {
    const struct {
        const char* how;
        std::function<void(SettingsFormTest&)> cancel;
    } cases[] = {
        {"Cancel", [](SettingsFormTest& t) { t.Child<QPushButton>("Button2").click(); }},
        // The first Esc restores the edit, the second cancels.
        {"Esc",
         [](SettingsFormTest& t) {
             QTest::keyClick(&t.Edit1(), Qt::Key_Escape);
             EXPECT_TRUE(t.shown->isVisible());
             EXPECT_EQ(t.Edit1().text(), "5");
             QTest::keyClick(&t.Edit1(), Qt::Key_Escape);
         }},
        {"close box", [](SettingsFormTest& t) { t.form->close(); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.how);
        InstallConfig();
        Show();
        Type("12");
        Child<QCheckBox>("DBCheckBox1").click();
        EXPECT_FALSE(OtherCanEdit());
        c.cancel(*this);
        ASSERT_TRUE(WaitClosed());
        EXPECT_EQ(form->ModalResult(), mrCancel);
        EXPECT_TRUE(OtherCanEdit());
        EXPECT_EQ(StoredConfig("realtime"), "5");
        EXPECT_EQ(StoredConfig("useuppercase"), "False");
        EXPECT_TRUE(messages.Boxes().empty());
        StartAgain();
    }
}

TEST_F(SettingsFormTest, AFailedPostShowsTheEnginesMessageAndKeepsTheChangePending) {
    InstallConfig({}, testsupport::ConfigWithMaximum("realtime", "20"));
    // The engine's own refusal of 25, as another handle meets it.
    std::string refusal;
    {
        auto other = OpenConfig();
        other->Edit();
        other->FieldByName("realtime").SetAsInteger(25);
        try {
            other->Post();
        } catch (...) {
            refusal = rtl::ExceptionMessage(std::current_exception());
        }
        other->Cancel();
    }
    ASSERT_FALSE(refusal.empty());

    Show();
    Type("25");
    Save().click();
    QApplication::processEvents();
    const std::vector<Box> stops = TakeStops();
    ASSERT_EQ(stops.size(), 1u);
    EXPECT_EQ(stops[0].text, WithFullStop(refusal));
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(Edit1().text(), "25");
    EXPECT_EQ(form->configdb.FieldByName("realtime").AsInteger(), 25);
    EXPECT_EQ(State().realtime, 0);
    Child<QPushButton>("Button2").click();
    ASSERT_TRUE(WaitClosed());
    EXPECT_EQ(StoredConfig("realtime"), "5");
}

TEST_F(SettingsFormTest, TheProgramsDialogReloadsThroughItsDataModule) {
    InstallConfig();
    FormRegistry forms;
    RegisterForms(forms, Runtime(), View());
    forms.CreateAll();
    ASSERT_NE(forms.Get<TDataModule<Tdbfuncs>>(FormSlot::dbfuncs), nullptr);
    auto* registered = forms.Get<Tsettingsform>(FormSlot::settingsform);
    ASSERT_NE(registered, nullptr);
    ShowForm(*registered);
    Type("12");
    Save().click();
    ASSERT_TRUE(WaitClosed());
    EXPECT_EQ(State().realtime, 12);
    EXPECT_EQ(State().width, 5);
    forms.DestroyAll();
}

}  // namespace
}  // namespace app
