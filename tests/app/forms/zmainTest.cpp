#include "app/forms/zmain.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QEnterEvent>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/controls/ColorButton.h"
#include "app/controls/KvClock.h"
#include "app/core/AppState.h"
#include "app/core/Texts.h"
#include "app/forms/ResultsPresets.h"
#include "app/forms/ScaleBy.h"
#include "app/program/Program.h"
#include "db/widgets/QtText.h"
#include "tests/support/AppFixture.h"
#include "tests/support/ModalScript.h"
#include "tests/support/WaitUntil.h"

namespace app {
namespace {

using db::widgets::ToQString;
using testsupport::Box;
using testsupport::BoxKind;
using testsupport::ConfigValues;
using testsupport::ModalScript;

// A form in a registry slot: notes each showing in the log and closes at once with its answer.
class RecordingForm : public TForm {
public:
    using TAnswer = std::function<TModalResult()>;

    // The size the form is designed at, to see scaling.
    static constexpr int kDesignWidth = 200;
    static constexpr int kDesignHeight = 100;

    RecordingForm(std::vector<std::string>& log, std::string name, TAnswer answer, QWidget* parent)
        : TForm(parent), log_(log), name_(std::move(name)), answer_(std::move(answer)) {
        resize(kDesignWidth, kDesignHeight);
    }

protected:
    void FormShow() override {
        log_.push_back(name_);
        QTimer::singleShot(0, this, [this] { SetModalResult(answer_ ? answer_() : mrOk); });
    }

private:
    std::vector<std::string>& log_;
    std::string name_;
    TAnswer answer_;
};

// The results window as the main window's first show sees it.
class RecordingResults : public RecordingForm, public ResultsPresets {
public:
    using RecordingForm::RecordingForm;
    void PresetChoices(std::int32_t sort) override { presets.push_back(sort); }

    std::vector<std::int32_t> presets;
};

using THandler = void (Tzmain::*)();

class ZmainTest : public testsupport::AppFixture {
public:
    ZmainTest() { RegisterForms(forms, Runtime(), View()); }

    // The slot holds a recording form; each creation is noted in `created`.
    void Record(FormSlot slot, const char* name, RecordingForm::TAnswer answer = {}) {
        forms.SetFactory(slot, [this, name, answer](QWidget* mainWindow) {
            created.emplace_back(name);
            return std::make_unique<RecordingForm>(log, name, answer, mainWindow);
        });
    }
    // The forms that later parts of the program bring, recorded; the name dialog answers `nameAnswer`.
    void RecordOthers() {
        Record(FormSlot::newnumerictestform, "newnumeric");
        Record(FormSlot::rewritean, "rewritean");
        forms.SetFactory(FormSlot::resultsForm, [this](QWidget* mainWindow) {
            auto form = std::make_unique<RecordingResults>(log, "results", nullptr, mainWindow);
            results = form.get();
            return form;
        });
        Record(FormSlot::numerictestform, "numeric");
        Record(FormSlot::alphanumerictestform, "alphanumeric");
        Record(FormSlot::alphatestform, "alpha");
        Record(FormSlot::getnameform, "name", [this] { return nameAnswer; });
        Record(FormSlot::passwordchangeform, "password");
        Record(FormSlot::settingsform, "settings");
        Record(FormSlot::aboutform, "about");
    }
    // Installs config.dat, creates the forms and shows the main window, which loads the settings.
    void StartWithPassword(const char* password) {
        ConfigValues values;
        values.password = password;
        Start(values);
    }
    void Start(const ConfigValues& values = {}) {
        InstallConfig(values);
        forms.CreateAll();
        main = forms.Get<Tzmain>(FormSlot::zmain);
        ASSERT_NE(main, nullptr);
        ShowActive(*main);
    }

    void Run(THandler handler) { std::invoke(handler, *main); }

    template <class T>
    T& Child(const char* name) {
        T* child = main->findChild<T*>(name);
        if (child == nullptr) throw std::logic_error(std::string("no ") + name);
        return *child;
    }
    std::string Status() { return db::widgets::ToBytes(Child<QStatusBar>("StatusBar1").currentMessage()); }
    // config.dat's files, byte for byte.
    std::vector<QByteArray> ConfigFiles() {
        std::vector<QByteArray> files;
        for (const std::string& name : keyvalesetup::TableFileNames(State().progdir, testsupport::ConfigSpec())) {
            QFile file(QString::fromStdString(name));
            EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name;
            files.push_back(file.readAll());
        }
        return files;
    }

    FormRegistry forms;
    std::vector<std::string> log;
    std::vector<std::string> created;
    TModalResult nameAnswer = mrOk;
    RecordingResults* results = nullptr;
    Tzmain* main = nullptr;
};

// Types into the prompt's edit and presses one of its buttons.
ModalScript::TAction AnswerPrompt(const char* typed, const char* button) {
    return [typed, button](QWidget& prompt) {
        QTest::keyClicks(prompt.findChild<QLineEdit*>("Edit1"), typed);
        prompt.findChild<QPushButton*>(button)->click();
    };
}

const struct AdminCommand {
    const char* name;
    THandler handler;
    const char* form;
} kAdminCommands[] = {
    {"Alphanumeric1Click", &Tzmain::Alphanumeric1Click, "rewritean"},
    {"numeric1Click", &Tzmain::numeric1Click, "newnumeric"},
    {"resultsbtnClick", &Tzmain::resultsbtnClick, "results"},
    {"Password1Click", &Tzmain::Password1Click, "password"},
    {"Settings1Click", &Tzmain::Settings1Click, "settings"},
};

TEST_F(ZmainTest, StartsWithTheSettingsOfTheProgramDirectoryAndTheClockTicking) {
    RecordOthers();
    ConfigValues values;
    values.realtime = 7;
    values.fname = "Ann";
    values.password = "abc";
    values.sort = 2;
    values.scalefactor = 20;
    Start(values);
    EXPECT_NE(QDir::currentPath() + '/', ProgramDir());
    EXPECT_EQ(State().realtime, 7);
    EXPECT_EQ(State().fname, "Ann");
    EXPECT_EQ(State().password, "ABC");
    EXPECT_EQ(main->windowTitle(), ToQString(kTitle));
    EXPECT_EQ(main->size(), QSize(Tzmain::kDesignWidth, Tzmain::kDesignHeight));
    EXPECT_EQ(main->font().family(), "Arial");
    // The results window is preset once, and each test screen is scaled once, by 120 %.
    EXPECT_EQ(results->presets, std::vector<std::int32_t>{2});
    for (const FormSlot slot : kTestScreenSlots) {
        auto* screen = forms.Get<QWidget>(slot);
        EXPECT_TRUE(IsScaled(*screen));
        EXPECT_EQ(screen->size(), QSize(240, 120));
    }
    // The fake clock's time, in twelve-hour form without a leading zero.
    controls::TKvClock& clock = main->KvClock1();
    EXPECT_EQ(clock.objectName(), "KvClock1");
    EXPECT_TRUE(clock.TwelveHour());
    EXPECT_FALSE(clock.LeadingZero());
    EXPECT_EQ(clock.BevelInner(), controls::bvNone);
    EXPECT_EQ(clock.BevelOuter(), controls::bvNone);
    EXPECT_EQ(clock.Color(), 0xC0DCC0u);
    EXPECT_EQ(clock.size(), QSize(89, 39));
    EXPECT_EQ(clock.font().pixelSize(), 12);
    EXPECT_TRUE(testsupport::waitUntil([&] { return clock.Face().text == "9:30:00 AM"; })) << clock.Face().text;
    time.Advance(4 * 3600 + 5);
    EXPECT_TRUE(testsupport::waitUntil([&] { return clock.Face().text == "1:30:05 PM"; })) << clock.Face().text;

    // Shown again (a restore, or hidden and shown): nothing loads, presets or scales again.
    State().realtime = 99;
    main->showMinimized();
    main->showNormal();
    main->hide();
    main->show();
    QApplication::processEvents();
    EXPECT_EQ(State().realtime, 99);
    EXPECT_EQ(results->presets.size(), 1u);
    EXPECT_TRUE(messages.Boxes().empty());
}

// Without its settings the program would run with the password gate open: it says why, once, and its main
// window closes, which ends the program.
TEST_F(ZmainTest, AMissingConfigSaysSoOnceAndTheMainWindowCloses) {
    RecordOthers();
    forms.CreateAll();
    main = forms.Get<Tzmain>(FormSlot::zmain);
    main->show();
    ASSERT_EQ(messages.Boxes().size(), 1u);
    const Box& box = messages.Boxes().front();
    EXPECT_EQ(box.kind, BoxKind::Error);
    const std::string dat = State().progdir + "config.DAT";
    EXPECT_EQ(box.text, "Error reading config.dat: " + dat + "\n\nThe table file \"" + dat +
                            "\" does not exist.\n\nKeyvale does not run without its settings and ends now. To "
                            "make config.dat anew, run:\nkeyvale-setup --force \"" +
                            State().progdir + "\" config");
    EXPECT_TRUE(main->SettingsUnread());
    EXPECT_TRUE(testsupport::waitUntil([this] { return !main->isVisible(); }));
    EXPECT_EQ(State().realtime, 0);
    EXPECT_EQ(messages.Boxes().size(), 1u);
}

TEST_F(ZmainTest, WithoutAStoredPasswordEveryAdministrativeFormOpensAtOnce) {
    RecordOthers();
    Record(FormSlot::getpasswordForm, "prompt");
    Start();
    for (const char* stored : {"", "   "}) {
        State().password = stored;
        for (const AdminCommand& command : kAdminCommands) {
            SCOPED_TRACE(std::string(command.name) + " with '" + stored + "'");
            log.clear();
            Run(command.handler);
            EXPECT_EQ(log, std::vector<std::string>{command.form});
        }
    }
}

TEST_F(ZmainTest, AStoredPasswordOpensTheFormWhenTypedInAnyCase) {
    RecordOthers();
    StartWithPassword("abc");
    for (const AdminCommand& command : kAdminCommands) {
        SCOPED_TRACE(command.name);
        log.clear();
        ModalScript script;
        script.Expect("app::TgetpasswordForm", AnswerPrompt("abc", "BitBtn1"));
        Run(command.handler);
        EXPECT_TRUE(script.WaitDone());
        EXPECT_EQ(log, std::vector<std::string>{command.form});
        EXPECT_TRUE(State().passwordok);
    }
    EXPECT_TRUE(messages.Boxes().empty());
}

TEST_F(ZmainTest, AWrongPasswordKeepsThePromptOpenAndCancelSkipsTheCommand) {
    RecordOthers();
    StartWithPassword("ABC");
    for (const AdminCommand& command : kAdminCommands) {
        SCOPED_TRACE(command.name);
        log.clear();
        messages.Clear();
        ModalScript script;
        script.Expect("app::TgetpasswordForm", AnswerPrompt("abd", "BitBtn1"));
        script.Expect("app::TgetpasswordForm", [](QWidget& prompt) {
            auto* edit = prompt.findChild<QLineEdit*>("Edit1");
            EXPECT_TRUE(edit->text().isEmpty());
            EXPECT_TRUE(testsupport::waitUntil([edit] { return edit->hasFocus(); }));
            prompt.findChild<QPushButton*>("BitBtn2")->click();
        });
        Run(command.handler);
        EXPECT_TRUE(script.WaitDone());
        EXPECT_TRUE(log.empty());
        EXPECT_FALSE(State().passwordok);
        EXPECT_EQ(messages.Boxes(), (std::vector<Box>{{BoxKind::Error, "Error", std::string(kIncorrectPassword)}}));
    }
}

TEST_F(ZmainTest, TestCommandsAskForTheNameAsTheirModeSaysAndNeverForThePassword) {
    RecordOthers();
    Record(FormSlot::getpasswordForm, "prompt");
    Start();
    State().password = "ABC";
    const struct {
        const char* name;
        THandler handler;
        TModalResult nameAnswer;
        std::vector<std::string> shown;
        bool realmode;
    } cases[] = {
        {"Real2Click", &Tzmain::Real2Click, mrOk, {"name", "numeric"}, true},
        {"Real2Click", &Tzmain::Real2Click, mrCancel, {"name"}, true},
        {"Real1Click", &Tzmain::Real1Click, mrOk, {"name", "alphanumeric"}, true},
        {"Real1Click", &Tzmain::Real1Click, mrCancel, {"name"}, true},
        {"Realmode1Click", &Tzmain::Realmode1Click, mrOk, {"name", "alpha"}, true},
        {"Realmode1Click", &Tzmain::Realmode1Click, mrCancel, {"name"}, true},
        {"Practice1Click", &Tzmain::Practice1Click, mrOk, {"numeric"}, false},
        {"Practise1Click", &Tzmain::Practise1Click, mrOk, {"alphanumeric"}, false},
        {"Practice2Click", &Tzmain::Practice2Click, mrOk, {"name", "alpha"}, false},
        {"Practice2Click", &Tzmain::Practice2Click, mrCancel, {"name"}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + (c.nameAnswer == mrOk ? " OK" : " Cancel"));
        log.clear();
        nameAnswer = c.nameAnswer;
        State().realmode = !c.realmode;
        Run(c.handler);
        EXPECT_EQ(log, c.shown);
        EXPECT_EQ(State().realmode, c.realmode);
    }
}

TEST_F(ZmainTest, TheMenuHasItsItemsInOrder) {
    Start();
    const auto titles = [](const QList<QAction*>& actions) {
        std::vector<std::string> texts;
        for (const QAction* action : actions) {
            texts.push_back(action->isSeparator() ? "-" : db::widgets::ToBytes(action->text()));
        }
        return texts;
    };
    using Texts = std::vector<std::string>;
    EXPECT_EQ(titles(Child<QMenuBar>("MainMenu1").actions()), (Texts{"&File", "&Tests", "&Admin", "&Help"}));
    EXPECT_EQ(titles(Child<QMenu>("File1").actions()), (Texts{"New", "Results", "Exit"}));
    EXPECT_EQ(titles(Child<QMenu>("New1").actions()), (Texts{"Alphanumeric and alpha", "numeric"}));
    EXPECT_EQ(titles(Child<QMenu>("Tests1").actions()), (Texts{"Alphanumeric", "Numeric", "Alpha"}));
    for (const char* test : {"Alphanumeric2", "Numeric2", "Alpha1"}) {
        EXPECT_EQ(titles(Child<QMenu>(test).actions()), (Texts{"Real", "Practice"})) << test;
    }
    EXPECT_EQ(titles(Child<QMenu>("Admin1").actions()), (Texts{"Password", "Settings"}));
    EXPECT_EQ(titles(Child<QMenu>("Help1").actions()), (Texts{"Contents", "-", "About"}));
    EXPECT_EQ(db::widgets::ToBytes(Child<QMenu>("New1").menuAction()->statusTip()), kMenuNewHint);
    EXPECT_EQ(db::widgets::ToBytes(Child<QMenu>("Alphanumeric2").menuAction()->statusTip()), kMenuAlphanumericHint);
    EXPECT_EQ(Child<QAction>("Contents1").shortcut(), QKeySequence(Qt::Key_F1));
}

// Each item: its hint in the status bar when pointed at, and what it does.
TEST_F(ZmainTest, EachMenuItemShowsItsHintAndRunsItsCommand) {
    RecordOthers();
    Start();
    const struct {
        const char* action;
        string_view hint;
        std::vector<std::string> shown;
    } items[] = {
        {"Alphanumeric1", kMenuNewAlphanumericHint, {"rewritean"}},
        {"numeric1", kMenuNewNumericHint, {"newnumeric"}},
        {"Results1", kMenuResultsHint, {"results"}},
        {"Real1", kRealAlphanumericHint, {"name", "alphanumeric"}},
        {"Practise1", kPracticeAlphanumericHint, {"alphanumeric"}},
        {"Real2", kRealNumericHint, {"name", "numeric"}},
        {"Practice1", kPracticeNumericHint, {"numeric"}},
        {"Realmode1", kRealAlphaHint, {"name", "alpha"}},
        {"Practice2", kPracticeAlphaHint, {"name", "alpha"}},
        {"Password1", kMenuPasswordHint, {"password"}},
        {"Settings1", kMenuSettingsHint, {"settings"}},
        {"Contents1", kMenuContentsHint, {}},
        {"About1", kMenuAboutHint, {"about"}},
        {"Exit1", kMenuExitHint, {}},
    };
    for (const auto& item : items) {
        SCOPED_TRACE(item.action);
        auto& action = Child<QAction>(item.action);
        action.showStatusText(main);
        EXPECT_EQ(Status(), item.hint);
        log.clear();
        if (std::string(item.action) != "Exit1") action.trigger();
        EXPECT_EQ(log, item.shown);
    }
    EXPECT_EQ(help.Requests(), std::vector<std::string>{std::string(kHelpContentsTopic)});
}

TEST_F(ZmainTest, EachToolbarButtonShowsItsHintAndRunsItsCommand) {
    RecordOthers();
    Start();
    const struct {
        const char* button;
        string_view caption;
        bool glyph;
        string_view hint;
        std::vector<std::string> shown;
    } buttons[] = {
        {"kvColorButton2", kNumericButton, false, kRealNumericHint, {"name", "numeric"}},
        {"kvColorButton3", kAlphanumericButton, false, kRealAlphanumericHint, {"name", "alphanumeric"}},
        {"kvColorButton4", kAlphaButton, false, kRealAlphaHint, {"name", "alpha"}},
        {"kvColorButton5", kSettingsButton, false, kMenuSettingsHint, {"settings"}},
        {"kvColorButton6", {}, true, kResultsButtonHint, {"results"}},
        {"kvColorButton7", {}, true, kHelpButtonHint, {}},
        {"kvColorButton1", {}, true, kExitButtonHint, {}},
    };
    for (const auto& b : buttons) {
        SCOPED_TRACE(b.button);
        auto& button = Child<controls::TkvColorButton>(b.button);
        EXPECT_EQ(button.Caption(), b.caption.empty() ? QStringList() : QStringList{ToQString(b.caption)});
        EXPECT_EQ(!button.Glyph().isNull(), b.glyph);
        EXPECT_EQ(button.toolTip(), ToQString(b.hint));
        QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
        QApplication::sendEvent(&button, &enter);
        EXPECT_EQ(Status(), b.hint);
        log.clear();
        QTest::mouseClick(&button, Qt::LeftButton, Qt::NoModifier, button.rect().center());
        EXPECT_EQ(log, b.shown);
    }
    EXPECT_EQ(help.Requests(), std::vector<std::string>{std::string(kHelpContentsTopic)});
    // The last button, Exit, closed the window.
    EXPECT_FALSE(main->isVisible());
}

TEST_F(ZmainTest, HelpAsksForTheContentsAndTheDialogsForTheirOwnTopics) {
    StartWithPassword("ABC");
    Child<QAction>("Contents1").trigger();
    QTest::keyClick(main, Qt::Key_F1);
    QTest::mouseClick(&Child<controls::TkvColorButton>("kvColorButton7"), Qt::LeftButton);
    const std::string contents(kHelpContentsTopic);
    EXPECT_EQ(help.Requests(), (std::vector<std::string>{contents, contents, contents}));

    // F1 inside the dialogs the commands open: the name dialog's topic, the prompt's.
    ModalScript script;
    const auto f1ThenCancel = [](QWidget& dialog) {
        QTest::keyClick(dialog.findChild<QLineEdit*>("Edit1"), Qt::Key_F1);
        dialog.findChild<QPushButton*>("BitBtn2")->click();
    };
    script.Expect("app::Tgetnameform", f1ThenCancel);
    script.Expect("app::TgetpasswordForm", f1ThenCancel);
    main->Real2Click();
    main->resultsbtnClick();
    EXPECT_TRUE(script.WaitDone());
    EXPECT_EQ(help.Requests(), (std::vector<std::string>{contents, contents, contents, "1000", "8000"}));
}

TEST_F(ZmainTest, TheAboutBoxShowsTheProductAndOkClosesIt) {
    Start();
    ModalScript script;
    script.Expect("app::Taboutform", [](QWidget& about) {
        EXPECT_EQ(about.windowTitle(), ToQString(kAboutCaption));
        auto* product = about.findChild<QLabel*>("ProductName");
        EXPECT_EQ(product->text(), ToQString(kAboutProduct));
        EXPECT_TRUE(product->font().bold());
        EXPECT_EQ(product->font().family(), "Arial");
        EXPECT_GT(product->font().pointSize(), about.font().pointSize());
        auto* ok = about.findChild<QPushButton*>("Button1");
        EXPECT_EQ(ok->text(), ToQString(kAboutOk));
        ok->click();
    });
    main->About1Click();
    EXPECT_TRUE(script.WaitDone());
}

TEST_F(ZmainTest, ClosingSavesTheNameOnlyWhenTheSettingsSaySo) {
    for (const bool remember : {true, false}) {
        SCOPED_TRACE(remember ? "remembername on" : "off");
        ConfigValues values;
        values.fname = "Ann";
        values.lname = "Lee";
        values.remembername = remember;
        Start(values);
        State().fname = "Bob";
        State().lname = "McKay";
        const std::vector<QByteArray> before = ConfigFiles();
        main->Exit1Click();
        EXPECT_FALSE(main->isVisible());
        if (remember) {
            EXPECT_EQ(StoredConfig("fname"), "Bob");
            EXPECT_EQ(StoredConfig("lname"), "McKay");
        } else {
            EXPECT_EQ(ConfigFiles(), before);
        }
        forms.DestroyAll();
        for (const std::string& file : keyvalesetup::TableFileNames(State().progdir, testsupport::ConfigSpec())) {
            QFile::remove(QString::fromStdString(file));
        }
    }
}

TEST_F(ZmainTest, ExitEndsTheMessageLoop) {
    for (const char* way : {"Exit1", "kvColorButton1"}) {
        SCOPED_TRACE(way);
        forms.DestroyAll();
        for (const std::string& file : keyvalesetup::TableFileNames(State().progdir, testsupport::ConfigSpec())) {
            QFile::remove(QString::fromStdString(file));
        }
        Start();
        QTimer::singleShot(0, main, [this, way] {
            if (std::string(way) == "Exit1") {
                Child<QAction>("Exit1").trigger();
            } else {
                QTest::mouseClick(&Child<controls::TkvColorButton>(way), Qt::LeftButton);
            }
        });
        // A loop that does not end fails the test rather than hanging it.
        QTimer stuck;
        stuck.setSingleShot(true);
        QObject::connect(&stuck, &QTimer::timeout, [] { QApplication::exit(99); });
        stuck.start(5000);
        EXPECT_EQ(QApplication::exec(), 0);
        EXPECT_FALSE(main->isVisible());
    }
}

TEST_F(ZmainTest, TheSettingsRescaleTheTestScreensOnlyWhenTheFactorChanged) {
    Record(FormSlot::numerictestform, "numeric");
    Record(FormSlot::alphanumerictestform, "alphanumeric");
    Record(FormSlot::alphatestform, "alpha");
    Start();
    using Names = std::vector<std::string>;
    const Names screens = {"numeric", "alphanumeric", "alpha"};
    ASSERT_EQ(created, screens);

    // A refused gate shows no settings dialog.
    State().password = "ABC";
    {
        ModalScript script;
        script.Expect("app::TgetpasswordForm", AnswerPrompt("", "BitBtn2"));
        main->Settings1Click();
        EXPECT_TRUE(script.WaitDone());
    }
    State().password.clear();
    const auto combo = [](QWidget& dialog) -> QComboBox& { return *dialog.findChild<QComboBox*>("DBComboBox2"); };
    const struct {
        const char* name;
        ModalScript::TAction action;
        Names recreated;
        std::int32_t scalefactor;
    } cases[] = {
        {"Save unchanged", [](QWidget& d) { d.findChild<QPushButton*>("Button1")->click(); }, {}, 0},
        {"Cancel a change",
         [&](QWidget& d) {
             QTest::keyClick(&combo(d), Qt::Key_Down);
             d.findChild<QPushButton*>("Button2")->click();
         },
         {},
         0},
        {"Save another time",
         [](QWidget& d) {
             auto* edit = d.findChild<QLineEdit*>("DBEdit1");
             edit->selectAll();
             QTest::keyClicks(edit, "9");
             d.findChild<QPushButton*>("Button1")->click();
         },
         {},
         0},
        {"Save a new factor",
         [&](QWidget& d) {
             QTest::keyClick(&combo(d), Qt::Key_Down);
             d.findChild<QPushButton*>("Button1")->click();
         },
         screens,
         5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        created.clear();
        ModalScript script;
        script.Expect("app::Tsettingsform", c.action);
        main->Settings1Click();
        EXPECT_TRUE(script.WaitDone());
        EXPECT_EQ(created, c.recreated);
        EXPECT_EQ(State().scalefactor, c.scalefactor);
    }
    for (const FormSlot slot : kTestScreenSlots) {
        EXPECT_EQ(forms.Get<QWidget>(slot)->size(), QSize(210, 105));
    }
    EXPECT_EQ(State().realtime, 9);
}

}  // namespace
}  // namespace app
