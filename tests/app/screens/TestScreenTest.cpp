#include "app/screens/TestScreen.h"

#include <QApplication>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/core/Texts.h"
#include "app/forms/FormRegistry.h"
#include "app/forms/zmain.h"
#include "app/program/Program.h"
#include "app/screens/alphanumerictestform.h"
#include "app/screens/alphatestform.h"
#include "app/screens/numerictestform.h"
#include "app/services/Application.h"
#include "app/services/HelpContext.h"
#include "app/services/QtMessageService.h"
#include "app/services/Services.h"
#include "db/Field.h"
#include "db/widgets/DBText.h"
#include "db/widgets/Guarded.h"
#include "db/widgets/QtText.h"
#include "rtl/DateTime.h"
#include "rtl/FormatSettings.h"
#include "rtl/Text.h"
#include "tests/support/AppFixture.h"
#include "tests/support/ModalScript.h"
#include "tests/support/WaitUntil.h"
#include "tools/keyvale-setup/ApplicationRecords.h"
#include "tools/keyvale-setup/ApplicationTables.h"
#include "tools/keyvale-setup/ExclusiveTable.h"

namespace app {
namespace {

using db::widgets::ToBytes;
using testsupport::Box;
using testsupport::BoxKind;

const char* TypeName(ScreenType type) {
    switch (type) {
        case ScreenType::Alpha:
            return "alpha";
        case ScreenType::Alphanumeric:
            return "alphanumeric";
        case ScreenType::Numeric:
            return "numeric";
    }
    return "";
}

constexpr ScreenType kTypes[] = {ScreenType::Alpha, ScreenType::Alphanumeric, ScreenType::Numeric};

// A screen over a program directory with invsort and numeric tables of the test's size, shown without a
// modal loop; keys go where the focus is, as a keyboard sends them.
class TestScreenTest : public testsupport::AppFixture {
public:
    TestScreenTest() {
        State().realtime = 5;
        State().practicetime = 5;
        State().realmode = true;
    }
    ~TestScreenTest() override {
        if (screen) screen->hide();
    }

    // invsort with `invsort` records, numeric with the 200 of keyvale-setup and `extraNumeric` more.
    void InstallSources(int invsort = 60, int extraNumeric = 0) {
        using keyvalesetup::TableId;
        for (const keyvalesetup::TableSpec& table : keyvalesetup::ApplicationTables()) {
            if (table.id != TableId::Invsort && table.id != TableId::Numeric) continue;
            keyvalesetup::CreateApplicationTable(State().progdir, table);
            keyvalesetup::WithExclusiveTable(keyvalesetup::TablePath(State().progdir, table), [&](db::TDataSet& data) {
                if (table.id == TableId::Invsort) {
                    keyvalesetup::WriteInvsortRecords(data, draws, invsort, rtl::Date());
                    return;
                }
                keyvalesetup::WriteNumericRecords(data, draws, 5);
                for (int i = 0; i < extraNumeric; ++i) {
                    data.Append();
                    for (int position = 1; position <= 25; ++position) {
                        data.FieldByName("n" + std::to_string(position)).SetAsInteger(10 + i);
                        data.FieldByName("nd" + std::to_string(position)).SetAsFloat(1.5);
                    }
                    data.Post();
                }
            });
        }
    }

    TestScreen& Make(ScreenType type) {
        const TestScreen::TPasswordGate gate = [this] {
            ++gateCalls;
            return gateAnswer;
        };
        switch (type) {
            case ScreenType::Alpha:
                screen = std::make_unique<Talphatestform>(State(), View(), gate);
                break;
            case ScreenType::Alphanumeric:
                screen = std::make_unique<Talphanumerictestform>(State(), View(), gate);
                break;
            case ScreenType::Numeric:
                screen = std::make_unique<Tnumerictestform>(State(), View(), gate);
                break;
        }
        screen->scoretestHook = [this] { ++scored; };
        return *screen;
    }

    // Makes and shows the screen: the test waits for its first key.
    TestScreen& Start(ScreenType type) {
        Make(type);
        Show();
        return *screen;
    }
    void Show() {
        screen->show();
        screen->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(screen.get()));
        EXPECT_TRUE(testsupport::waitUntil([this] { return screen->Entry(1).hasFocus(); }));
    }

    QWidget* Focus() const { return QApplication::focusWidget(); }
    int FocusPosition() const {
        for (int position = 1; position <= screen->Rules().fields; ++position) {
            if (&screen->Entry(position) == Focus()) return position;
        }
        return 0;
    }
    void Key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::keyClick(Focus(), static_cast<Qt::Key>(key), modifiers);
    }
    void Type(const std::string& text) { QTest::keyClicks(Focus(), db::widgets::ToQString(text)); }
    std::string Text(int position) const { return ToBytes(screen->Entry(position).displayText()); }
    std::string Caption() const { return ToBytes(screen->windowTitle()); }
    // The source text of a position as the table holds it now.
    std::string Expected(int position) {
        const db::TField& field = screen->testdb.FieldByName(screen->Rules().FieldName(position, State().usedecimal));
        return screen->Rules().type == ScreenType::Numeric ? rtl::VarToStr(field.AsVariant()) : field.AsString();
    }
    // Keys the expected text of every field of the screen, each closed by Enter.
    void KeyScreen() {
        for (int position = 1; position <= screen->Rules().fields; ++position) {
            ASSERT_EQ(FocusPosition(), position);
            KeyField(position);
            Key(Qt::Key_Return);
        }
    }
    // What the field's keys are for its expected text: the mask supplies its literals.
    void KeyField(int position) {
        std::string text = Expected(position);
        if (!screen->Entry(position).inputMask().isEmpty()) std::erase_if(text, [](char c) { return c == '/' || c == '.'; });
        Type(text);
    }

    app::SystemRandomSource draws;
    std::unique_ptr<TestScreen> screen;
    int gateCalls = 0;
    bool gateAnswer = true;
    int scored = 0;
};

TEST_F(TestScreenTest, StartsOnTheFirstRecordInRealModeAndTheFiftiethInPractice) {
    InstallSources();
    const struct {
        ScreenType type;
        bool realmode;
        const char* caption;
        int record;
    } cases[] = {
        {ScreenType::Alpha, true, "5 minute alpha real mode test in progress (Record: 1)", 1},
        {ScreenType::Alpha, false, "5 minute alpha practice mode test in progress (Record: 1)", 50},
        {ScreenType::Alphanumeric, true, "5 minute alphanumeric real mode test in progress (Record: 1)", 1},
        {ScreenType::Alphanumeric, false, "5 minute alphanumeric practice mode test in progress (Record: 1)", 50},
        {ScreenType::Numeric, true, "5 minute numeric real mode test in progress (Record: 1)", 1},
        {ScreenType::Numeric, false, "5 minute numeric practice mode test in progress (Record: 1)", 50},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.caption);
        State().realmode = c.realmode;
        Start(c.type);
        EXPECT_EQ(Caption(), c.caption);
        EXPECT_EQ(screen->testdb.RecNo(), c.record);
        EXPECT_EQ(screen->maxrecno, c.record);
        EXPECT_EQ(ToBytes(screen->Source(1).text()), Expected(1));
        EXPECT_EQ(ToBytes(screen->timeLabel->text()), "Timer starts with first key pressed.");
        EXPECT_FALSE(screen->prevscreenbtn->isEnabled());
        EXPECT_TRUE(screen->nextscreenbtn->isEnabled());
        // Cleared: the invoice's mask shows its eight blanks.
        EXPECT_EQ(Text(1), c.type == ScreenType::Alpha ? " " : (c.type == ScreenType::Numeric ? "" : "        "));
        EXPECT_EQ(FocusPosition(), 1);
        EXPECT_FALSE(screen->Timer1.isActive());
        screen->hide();
    }
}

TEST_F(TestScreenTest, AMissingSourceTableShowsTheFailureAndTheTestDoesNotStart) {
    for (ScreenType type : kTypes) {
        SCOPED_TRACE(TypeName(type));
        Make(type);
        screen->show();
        EXPECT_TRUE(testsupport::waitUntil([this] { return !screen->isVisible(); }));
        EXPECT_EQ(TakeStops().size(), 1u);
        EXPECT_FALSE(screen->testdb.Active());
        EXPECT_FALSE(screen->Timer1.isActive());
    }
}

// The program's stop box runs a loop of its own while the screen is still being shown, before exec() has a
// loop that closing could end: the screen must still close once the box is answered.
TEST_F(TestScreenTest, AMissingSourceTableWithARealStopBoxEndsTheModalScreen) {
    QtMessageService boxes{std::string(kTitle)};
    const Services view = View();
    const Services real{boxes, view.help, view.print, view.keyboard, view.time, view.random};
    const ServiceRoutes routes(*Application(), real);
    for (ScreenType type : kTypes) {
        SCOPED_TRACE(TypeName(type));
        Make(type);
        QString text;
        testsupport::ModalScript script;
        script.Expect("QMessageBox", [&text](QWidget& box) {
            auto& stop = static_cast<QMessageBox&>(box);
            text = stop.text();
            stop.button(QMessageBox::Ok)->click();
        });
        EXPECT_EQ(screen->exec(), mrCancel);
        EXPECT_TRUE(script.WaitDone());
        const std::string table = type == ScreenType::Numeric ? "numeric" : "invsort";
        EXPECT_EQ(ToBytes(text), "The table file \"" + State().progdir + table + ".DAT\" does not exist.");
        EXPECT_FALSE(screen->isVisible());
        EXPECT_FALSE(screen->Timer1.isActive());
    }
}

// Whatever gives a field the focus, the keys typed next fill it from its start: on the alphanumeric screen a
// caret left at the end of a blank mask would take no key at all.
TEST_F(TestScreenTest, EveryWayOfFocusingAFieldLetsTheNextKeysFillIt) {
    InstallSources();
    State().autoadvance = false;
    for (ScreenType type : kTypes) {
        SCOPED_TRACE(TypeName(type));
        Start(type);
        // What a field shows of the digits typed into it: a mask keeps its blanks and literals after them.
        const auto filledWith = [this](int position, const std::string& digits) {
            const std::string text = Text(position);
            return screen->Entry(position).inputMask().isEmpty() ? rtl::Trim(text) == digits
                                                                 : text.rfind(digits, 0) == 0;
        };
        // The program's focus at the start.
        Type("12");
        EXPECT_TRUE(filledWith(1, "12")) << Text(1);
        // Enter.
        Key(Qt::Key_Return);
        ASSERT_EQ(FocusPosition(), 2);
        Type("34");
        EXPECT_TRUE(filledWith(2, "34")) << Text(2);
        // A click on the right end of an empty field, then on the right end of the one keyed before.
        QLineEdit& third = screen->Entry(3);
        QTest::mouseClick(&third, Qt::LeftButton, {}, QPoint(third.width() - 3, third.height() / 2));
        ASSERT_EQ(FocusPosition(), 3);
        Type("56");
        EXPECT_TRUE(filledWith(3, "56")) << Text(3);
        QLineEdit& first = screen->Entry(1);
        QTest::mouseClick(&first, Qt::LeftButton, {}, QPoint(first.width() - 3, first.height() / 2));
        ASSERT_EQ(FocusPosition(), 1);
        Type("7");
        EXPECT_TRUE(filledWith(1, "127")) << Text(1);
        // A screen change: the last field's Enter leads to screen 2, whose field 1 keeps the focus through
        // "<" and ">" clicked with the mouse.
        for (int position = 1; position <= screen->Rules().fields; ++position) {
            screen->Entry(position).setFocus(Qt::TabFocusReason);
            if (!screen->Rules().IsEmpty(Text(position))) continue;
            Type("8");
        }
        Key(Qt::Key_Return);
        ASSERT_EQ(screen->curscreen, 2);
        ASSERT_EQ(FocusPosition(), 1);
        Type("9");
        QTest::mouseClick(screen->prevscreenbtn, Qt::LeftButton);
        ASSERT_EQ(screen->curscreen, 1);
        ASSERT_EQ(FocusPosition(), 1);
        Type("21");
        EXPECT_TRUE(filledWith(1, "21")) << Text(1);
        QTest::mouseClick(screen->nextscreenbtn, Qt::LeftButton);
        ASSERT_EQ(screen->curscreen, 2);
        ASSERT_EQ(FocusPosition(), 1);
        Type("43");
        EXPECT_TRUE(filledWith(1, "43")) << Text(1);
        // The field's entry handler has read the source of the screen on display.
        EXPECT_EQ(screen->fieldlength, static_cast<int>(Expected(1).size()));
        screen->hide();
    }
}

// A test ended on screen 2 and another started: the second starts on screen 1, and its caption says so.
TEST_F(TestScreenTest, ASecondStartShowsRecordOneInTheCaption) {
    InstallSources();
    Start(ScreenType::Alphanumeric);
    KeyScreen();
    ASSERT_EQ(screen->curscreen, 2);
    EXPECT_EQ(Caption(), "5 minute alphanumeric real mode test in progress (Record: 2)");
    screen->hide();
    screen->show();  // shown again, the screen starts a new test
    EXPECT_EQ(Caption(), "5 minute alphanumeric real mode test in progress (Record: 1)");
    EXPECT_EQ(screen->curscreen, 1);
    EXPECT_FALSE(screen->prevscreenbtn->isEnabled());
}

// The fields go off at the time-out: the focus leaves them, and no other field's entry handler runs.
TEST_F(TestScreenTest, DisablingTheFieldsTakesTheFocusIntoNoneOfThem) {
    InstallSources();
    for (ScreenType type : kTypes) {
        SCOPED_TRACE(TypeName(type));
        Start(type);
        struct FocusCount : QObject {
            int focusIns = 0;
            bool eventFilter(QObject*, QEvent* event) override {
                if (event->type() == QEvent::FocusIn) ++focusIns;
                return false;
            }
        } counter;
        for (int position = 1; position <= screen->Rules().fields; ++position) {
            screen->Entry(position).installEventFilter(&counter);
        }
        screen->disableedits();
        EXPECT_EQ(counter.focusIns, 0);
        EXPECT_EQ(FocusPosition(), 0);
        for (int position = 1; position <= screen->Rules().fields; ++position) {
            screen->Entry(position).removeEventFilter(&counter);
            // The numeric screen's focused source is bold; the others' are bold throughout.
            if (type == ScreenType::Numeric) {
                EXPECT_FALSE(screen->Source(position).font().bold()) << position;
            }
        }
        screen->enableedits();
        screen->hide();
    }
}

TEST_F(TestScreenTest, AlphaScreensSetTheShortDateFormat) {
    InstallSources();
    for (ScreenType type : {ScreenType::Alpha, ScreenType::Alphanumeric}) {
        rtl::CurrentFormatSettings().ShortDateFormat = "yyyy-mm-dd";
        Start(type);
        EXPECT_EQ(rtl::CurrentFormatSettings().ShortDateFormat, "mm/dd/yy");
        screen->hide();
    }
}

TEST_F(TestScreenTest, ControlsCarryTheirTipsHelpAndFocusRules) {
    InstallSources();
    for (ScreenType type : kTypes) {
        SCOPED_TRACE(TypeName(type));
        Start(type);
        EXPECT_EQ(ToBytes(screen->prevscreenbtn->toolTip()), "Previous record");
        EXPECT_EQ(ToBytes(screen->nextscreenbtn->toolTip()), "Next Recort");
        EXPECT_EQ(screen->prevscreenbtn->focusPolicy(), Qt::NoFocus);
        EXPECT_EQ(screen->BitBtn1->focusPolicy(), Qt::NoFocus);
        EXPECT_FALSE(screen->BitBtn1->isDefault());
        EXPECT_FALSE(screen->BitBtn1->autoDefault());
        EXPECT_EQ(ToBytes(screen->BitBtn1->text()), "Cancel");
        EXPECT_EQ(screen->Timer1.interval(), 1000);
        // F1 in an entry field opens the test's topic on every screen.
        for (int position = 1; position <= screen->Rules().fields; ++position) {
            EXPECT_EQ(NearestHelpContext(&screen->Entry(position)), 3000) << position;
        }
        EXPECT_EQ(NearestHelpContext(&screen->Source(1)) == 3000, type != ScreenType::Alphanumeric);
        // Tab runs through the entry fields only.
        for (int position = 1; position <= screen->Rules().fields; ++position) {
            ASSERT_EQ(FocusPosition(), position);
            Key(Qt::Key_Tab);
        }
        EXPECT_EQ(FocusPosition(), 1);
        screen->hide();
    }
}

TEST_F(TestScreenTest, EnterAndNextRefuseAnEmptyFieldAndMoveOnWhenAllAreFilled) {
    InstallSources();
    for (ScreenType type : kTypes) {
        SCOPED_TRACE(TypeName(type));
        Start(type);
        const int fields = screen->Rules().fields;
        Key(Qt::Key_Return);
        EXPECT_EQ(FocusPosition(), 1);
        // Field 1 keyed, the rest empty: Next focuses field 2.
        KeyField(1);
        Key(Qt::Key_Return);
        ASSERT_EQ(FocusPosition(), 2);
        screen->nextscreenbtn->click();
        EXPECT_EQ(FocusPosition(), 2);
        EXPECT_EQ(Text(2), type == ScreenType::Numeric ? "" : (type == ScreenType::Alpha ? "  " : "  /  /  "));
        EXPECT_FALSE(screen->navigating);
        EXPECT_EQ(screen->curscreen, 1);
        // Up from 1 goes to F, Down from F to 1.
        Key(Qt::Key_Up);
        Key(Qt::Key_Up);
        EXPECT_EQ(FocusPosition(), fields);
        Key(Qt::Key_Down);
        EXPECT_EQ(FocusPosition(), 1);
        Key(Qt::Key_Down);
        for (int position = 2; position <= fields; ++position) {
            ASSERT_EQ(FocusPosition(), position);
            screen->Entry(position).selectAll();
            KeyField(position);
            Key(Qt::Key_Return);
        }
        EXPECT_TRUE(Caption().ends_with(" (Record: 2)")) << Caption();
        EXPECT_EQ(screen->testdb.RecNo(), 2);
        EXPECT_EQ(screen->curscreen, 2);
        EXPECT_EQ(screen->maxscreen, 2);
        EXPECT_TRUE(screen->prevscreenbtn->isEnabled());
        EXPECT_EQ(FocusPosition(), 1);
        EXPECT_EQ(Text(2).find_first_not_of(" ./"), std::string::npos) << Text(2);
        screen->hide();
    }
}

TEST_F(TestScreenTest, PreviousAndNextShowTheStoredTexts) {
    InstallSources();
    State().autoadvance = true;
    Start(ScreenType::Alphanumeric);
    // Screen 1: a partly keyed date.
    for (int position = 1; position <= 7; ++position) {
        screen->Entry(position).setFocus(Qt::TabFocusReason);
        if (position == 2) {
            Type("010");
        } else {
            Type("1");
        }
    }
    const std::string date = Text(2);
    EXPECT_EQ(date, "01/0 /  ");
    screen->nextscreenbtn->click();
    ASSERT_EQ(screen->curscreen, 2);
    EXPECT_EQ(screen->keyedtext.At(1, 2), "01/0 /  ");
    screen->Entry(4).setFocus(Qt::TabFocusReason);
    Type("zz");
    screen->prevscreenbtn->click();
    EXPECT_EQ(screen->curscreen, 1);
    EXPECT_EQ(screen->testdb.RecNo(), 1);
    EXPECT_EQ(Text(2), date);
    EXPECT_EQ(Text(7), "1");
    EXPECT_EQ(FocusPosition(), 1);  // a full screen does not advance by itself
    EXPECT_FALSE(screen->prevscreenbtn->isEnabled());
    screen->nextscreenbtn->click();
    EXPECT_EQ(screen->curscreen, 2);
    EXPECT_EQ(Text(4), "zz");
    EXPECT_EQ(Text(1), "        ");
    EXPECT_EQ(FocusPosition(), 1);
}

TEST_F(TestScreenTest, AutoAdvanceComesAtTheSourceTextsLength) {
    InstallSources();
    State().autoadvance = true;
    {
        SCOPED_TRACE("alpha");
        Start(ScreenType::Alpha);
        const std::string first = Expected(1);
        ASSERT_GE(first.size(), 2u);
        Type(first.substr(0, first.size() - 1));
        EXPECT_EQ(FocusPosition(), 1);
        Type(first.substr(first.size() - 1));
        EXPECT_EQ(FocusPosition(), 2);
    }
    {
        SCOPED_TRACE("alphanumeric date");
        Start(ScreenType::Alphanumeric);
        screen->Entry(2).setFocus(Qt::TabFocusReason);
        ASSERT_EQ(Expected(2).size(), 8u);
        Type("01020");
        EXPECT_EQ(FocusPosition(), 2);
        Type("3");
        EXPECT_EQ(FocusPosition(), 3);
        EXPECT_EQ(Text(2), "01/02/03");
    }
    {
        SCOPED_TRACE("numeric");
        Start(ScreenType::Numeric);
        const std::string value = Expected(1);
        Type(value.substr(0, value.size() - 1));
        EXPECT_EQ(FocusPosition(), 1);
        // An auto-repeat release does not count; the keypad's digit does.
        QKeyEvent repeat(QEvent::KeyRelease, Qt::Key_1, Qt::NoModifier, QStringLiteral("1"), true);
        QTest::keyPress(Focus(), '1');
        QApplication::sendEvent(Focus(), &repeat);
        EXPECT_EQ(FocusPosition(), 1);
        QTest::keyRelease(Focus(), Qt::Key_1, Qt::KeypadModifier);
        EXPECT_EQ(FocusPosition(), 2);
    }
    {
        SCOPED_TRACE("auto-advance off");
        State().autoadvance = false;
        Start(ScreenType::Alpha);
        Type(Expected(1));
        EXPECT_EQ(FocusPosition(), 1);
    }
}

TEST_F(TestScreenTest, NumericAdvancesOnlyOnADigitsRelease) {
    InstallSources();
    State().autoadvance = true;
    State().usedecimal = true;
    Start(ScreenType::Numeric);
    const std::string value = Expected(1);
    ASSERT_GE(value.size(), 2u);
    Type(std::string(value.size() - 1, '1') + ".");
    EXPECT_EQ(Text(1).size(), value.size());
    EXPECT_EQ(FocusPosition(), 1);
}

TEST_F(TestScreenTest, NumericFieldsTakeOnlyTheirKeys) {
    InstallSources();
    for (const bool usedecimal : {false, true}) {
        SCOPED_TRACE(usedecimal ? "decimal" : "integer");
        State().usedecimal = usedecimal;
        keyboard.SetNumLock(false);
        Start(ScreenType::Numeric);
        EXPECT_EQ(keyboard.Calls(), std::vector<std::string>{"NumLockOn"});
        Type("1a.2x");
        EXPECT_EQ(Text(1), usedecimal ? "1.2" : "12");
        Key(Qt::Key_Backspace);
        Key(Qt::Key_Home);
        Key(Qt::Key_Delete);
        EXPECT_EQ(Text(1), usedecimal ? "." : "");
        Key(Qt::Key_Return);
        EXPECT_EQ(Text(1), usedecimal ? "." : "");
        screen->Entry(1).clear();
        screen->Entry(1).setFocus(Qt::TabFocusReason);
        Type("12345678901234567");
        EXPECT_EQ(Text(1).size(), 16u);
        Key(Qt::Key_NumLock);
        EXPECT_EQ(keyboard.Calls().size(), 2u);
        screen->hide();
        keyboard = {};
    }
}

TEST_F(TestScreenTest, KeyCharacterIsTheCharacterTheKeyMeans) {
    const struct {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        const char* text;
        int character;
    } cases[] = {
        {Qt::Key_V, Qt::ControlModifier, "v", 22},      {Qt::Key_V, Qt::ControlModifier, "\x16", 22},
        {Qt::Key_Delete, Qt::NoModifier, "\x7f", 0},   {Qt::Key_Delete, Qt::NoModifier, "", 0},
        {Qt::Key_Left, Qt::NoModifier, "", 0},         {Qt::Key_A, Qt::NoModifier, "a", 'a'},
        {Qt::Key_Return, Qt::NoModifier, "\r", 13},    {Qt::Key_Enter, Qt::KeypadModifier, "\r", 13},
        {Qt::Key_Backspace, Qt::NoModifier, "\b", 8},  {Qt::Key_5, Qt::KeypadModifier, "5", '5'},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const QKeyEvent event(QEvent::KeyPress, c.key, c.modifiers, QString::fromLatin1(c.text));
        EXPECT_EQ(TestScreen::KeyCharacter(event), c.character);
    }
    const QKeyEvent euro(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(QChar(0x20AC)));
    EXPECT_EQ(TestScreen::KeyCharacter(euro), 0x80);
    const QKeyEvent beyond(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(QChar(0x0410)));
    EXPECT_EQ(TestScreen::KeyCharacter(beyond), 256);
}

TEST_F(TestScreenTest, UpperCaseTurnsTypedLettersAndKeepsTheMasks) {
    InstallSources();
    State().useuppercase = true;
    Start(ScreenType::Alphanumeric);
    screen->Entry(4).setFocus(Qt::TabFocusReason);
    Type("abc");
    QKeyEvent eacute(QEvent::KeyPress, Qt::Key_Eacute, Qt::NoModifier, QString(QChar(0xE9)));
    QApplication::sendEvent(Focus(), &eacute);
    EXPECT_EQ(Text(4), "ABC\xc9");
    screen->Entry(3).setFocus(Qt::TabFocusReason);
    Type("12x3");
    EXPECT_EQ(Text(3), "123 .  ");
}

TEST_F(TestScreenTest, CountsDownFromTheFirstKeyAndEndsAtTheLimit) {
    InstallSources();
    for (ScreenType type : kTypes) {
        SCOPED_TRACE(TypeName(type));
        scored = 0;
        messages.Clear();
        Start(type);
        time.Advance(30);
        EXPECT_EQ(ToBytes(screen->timeLabel->text()), "Timer starts with first key pressed.");
        Key(Qt::Key_Right);  // an arrow counts
        EXPECT_TRUE(screen->timerstarted);
        EXPECT_TRUE(screen->Timer1.isActive());
        time.Advance(1);
        screen->Timer1Timer();
        EXPECT_EQ(ToBytes(screen->timeLabel->text()), "Time remaining: 4.98");
        EXPECT_TRUE(screen->Timer1.isActive());
        time.Advance(298.9);
        screen->Timer1Timer();
        EXPECT_EQ(scored, 0);
        EXPECT_TRUE(screen->Entry(1).isEnabled());
        time.Advance(0.1);
        screen->Timer1Timer();
        EXPECT_EQ(scored, 1);
        EXPECT_FALSE(screen->Timer1.isActive());
        EXPECT_DOUBLE_EQ(screen->elapsed, 300.0);
        EXPECT_EQ(ToBytes(screen->timeLabel->text()), "Time remaining: 0.00");
        for (int position = 1; position <= screen->Rules().fields; ++position) {
            EXPECT_FALSE(screen->Entry(position).isEnabled());
        }
        EXPECT_FALSE(screen->prevscreenbtn->isEnabled());
        EXPECT_FALSE(screen->nextscreenbtn->isEnabled());
        EXPECT_TRUE(screen->BitBtn1->isEnabled());
        EXPECT_TRUE(screen->testdb.ControlsDisabled());
        EXPECT_DOUBLE_EQ(screen->endtime, time.Time());
        EXPECT_EQ(messages.Boxes(), (std::vector<Box>{{BoxKind::Information, "Keyvale", "Test is complete..."}}));
        screen->hide();
    }
}

TEST_F(TestScreenTest, ATestStartedBeforeMidnightEnds) {
    InstallSources();
    time.Set(rtl::EncodeDateTime(2026, 12, 11, 23, 59, 30, 0));
    Start(ScreenType::Alpha);
    Key(Qt::Key_A);
    time.Advance(300);
    screen->Timer1Timer();
    EXPECT_EQ(scored, 1);
    EXPECT_DOUBLE_EQ(screen->endtime, rtl::EncodeTime(0, 4, 30, 0));
}

TEST_F(TestScreenTest, CancelEndsTheTestOnlyThroughThePasswordGate) {
    InstallSources();
    const struct {
        const char* way;
        std::function<void(TestScreen&)> cancel;
    } ways[] = {
        {"Cancel", [](TestScreen& s) { s.BitBtn1->click(); }},
        {"Esc", [](TestScreen&) { QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape); }},
        {"close box", [](TestScreen& s) { s.close(); }},
    };
    for (const auto& way : ways) {
        SCOPED_TRACE(way.way);
        gateCalls = 0;
        Start(ScreenType::Alphanumeric);
        Key(Qt::Key_1);
        gateAnswer = false;
        way.cancel(*screen);
        EXPECT_EQ(gateCalls, 1);
        EXPECT_TRUE(screen->isVisible());
        EXPECT_TRUE(screen->Timer1.isActive());
        gateAnswer = true;
        way.cancel(*screen);
        EXPECT_EQ(gateCalls, 2);
        EXPECT_FALSE(screen->isVisible());
        EXPECT_EQ(screen->ModalResult(), mrCancel);
        EXPECT_FALSE(screen->testdb.Active());
        EXPECT_FALSE(screen->resultsdb.Active());
        EXPECT_FALSE(screen->Timer1.isActive());
        EXPECT_EQ(scored, 0);
    }
}

TEST_F(TestScreenTest, CancelIsIgnoredWhileScoringRuns) {
    InstallSources();
    Start(ScreenType::Alpha);
    Key(Qt::Key_A);
    bool visibleAfterCancels = false;
    screen->scoretestHook = [this, &visibleAfterCancels] {
        ++scored;
        EXPECT_TRUE(screen->Busy());
        screen->BitBtn1Click();
        QTest::keyClick(screen.get(), Qt::Key_Escape);
        screen->close();
        visibleAfterCancels = screen->isVisible();
        throw std::runtime_error("scoring failed");
    };
    time.Advance(300);
    // As from the timer's slot: the failure goes to the application's handler.
    db::widgets::Guarded([this] { screen->Timer1Timer(); });
    const std::vector<Box> stops = TakeStops();
    ASSERT_EQ(stops.size(), 1u);
    EXPECT_EQ(stops[0].text, "scoring failed.");
    EXPECT_EQ(scored, 1);
    EXPECT_EQ(gateCalls, 0);
    EXPECT_TRUE(visibleAfterCancels);
    EXPECT_FALSE(screen->Busy());
    screen->BitBtn1->click();
    EXPECT_EQ(gateCalls, 1);
    EXPECT_FALSE(screen->isVisible());
}

TEST_F(TestScreenTest, ReadsTheProgramDirectorysTableFromAnotherWorkingDirectory) {
    InstallSources(60);
    // The working directory is the test's own: a bare name would not find the table.
    ASSERT_NE(QDir::currentPath() + QLatin1Char('/'), ProgramDir());
    Start(ScreenType::Alpha);
    EXPECT_TRUE(screen->testdb.Active());
    EXPECT_EQ(screen->testdb.TableName(), State().progdir + "invsort.dat");
    EXPECT_FALSE(Expected(1).empty());
}

TEST_F(TestScreenTest, NextIsRefusedAtTheSourcesLastRecord) {
    InstallSources(52);
    State().realmode = false;
    Start(ScreenType::Alpha);
    for (int screenNumber = 1; screenNumber <= 3; ++screenNumber) KeyScreen();
    EXPECT_EQ(screen->curscreen, 3);
    EXPECT_EQ(screen->testdb.RecNo(), 52);
    EXPECT_EQ(screen->maxscreen, 3);
    EXPECT_EQ(Caption(), "5 minute alpha practice mode test in progress (Record: 3)");
    EXPECT_EQ(FocusPosition(), 3);
    EXPECT_EQ(screen->keyedtext.At(3, 1), Expected(1));
    // Back and forth still works from there.
    screen->prevscreenbtn->click();
    EXPECT_EQ(screen->testdb.RecNo(), 51);
    screen->nextscreenbtn->click();
    EXPECT_EQ(screen->testdb.RecNo(), 52);
    EXPECT_EQ(screen->curscreen, 3);
}

TEST_F(TestScreenTest, NextIsRefusedAtTheStoresLastScreen) {
    InstallSources(60, 10);
    Start(ScreenType::Numeric);
    for (int screenNumber = 1; screenNumber <= 200; ++screenNumber) {
        for (int position = 1; position <= 25; ++position) screen->Entry(position).setText(QStringLiteral("7"));
        screen->nextscreenbtnClick();
    }
    EXPECT_EQ(screen->curscreen, 200);
    EXPECT_EQ(screen->testdb.RecNo(), 200);
    EXPECT_EQ(screen->maxscreen, 200);
    EXPECT_EQ(screen->keyedtext.At(200, 25), "7");
    EXPECT_EQ(Caption(), "5 minute numeric real mode test in progress (Record: 200)");
}

TEST_F(TestScreenTest, FocusedPositionShowsInNavyAndTheNumericInBold) {
    InstallSources();
    Start(ScreenType::Numeric);
    EXPECT_EQ(screen->Source(1).palette().color(QPalette::WindowText), QColor(0, 0, 0x80));
    EXPECT_TRUE(screen->Source(1).font().bold());
    ASSERT_NE(screen->dbshowfield, nullptr);
    EXPECT_EQ(screen->dbshowfield->DataField(), "n1");
    EXPECT_EQ(ToBytes(screen->dbshowfield->text()), Expected(1));
    EXPECT_EQ(screen->fieldlength, static_cast<int>(Expected(1).size()));
    Key(Qt::Key_Down);
    EXPECT_EQ(screen->Source(1).palette().color(QPalette::WindowText), QColor(0, 0, 0));
    EXPECT_FALSE(screen->Source(1).font().bold());
    EXPECT_EQ(screen->dbshowfield->DataField(), "n2");
}

// The focused number stands out in bold against the others: every source text the testee is not on is
// of regular weight, whether the focus has been there or not.
TEST_F(TestScreenTest, NumericSourcesAwayFromTheFocusAreOfRegularWeight) {
    InstallSources();
    Start(ScreenType::Numeric);
    for (int position = 2; position <= screen->Rules().fields; ++position) {
        EXPECT_FALSE(screen->Source(position).font().bold()) << position;
    }
    Key(Qt::Key_Down);
    EXPECT_EQ(screen->Source(1).font(), screen->Source(3).font());
    EXPECT_TRUE(screen->Source(2).font().bold());
}

// Every control of a screen lies wholly inside its parent, within the frame a panel draws around it.
TEST_F(TestScreenTest, ControlsLieInsideTheirPanelsFrames) {
    for (const ScreenType type : kTypes) {
        TestScreen& made = Make(type);
        for (QWidget* control : made.findChildren<QWidget*>()) {
            QWidget* parent = control->parentWidget();
            if (parent == nullptr || control->isWindow() || control->isHidden()) continue;
            const auto* frame = qobject_cast<const QFrame*>(parent);
            const QRect inside = frame != nullptr && parent != &made ? frame->contentsRect() : parent->rect();
            if (control->objectName().isEmpty()) continue;  // the parts of a composite control
            EXPECT_TRUE(inside.contains(control->geometry()))
                << made.objectName().toStdString() << ": " << control->objectName().toStdString() << " at ("
                << control->x() << ", " << control->y() << ", " << control->width() << " x " << control->height()
                << ") overruns its parent " << parent->objectName().toStdString() << " (" << inside.x() << ", "
                << inside.y() << ", " << inside.width() << " x " << inside.height() << ")";
        }
    }
}


// ---- Through the program's forms: the main window's commands and start-up scaling ----

const struct {
    ScreenType type;
    FormSlot slot;
    const char* className;
} kSlots[] = {
    {ScreenType::Alpha, FormSlot::alphatestform, "app::Talphatestform"},
    {ScreenType::Alphanumeric, FormSlot::alphanumerictestform, "app::Talphanumerictestform"},
    {ScreenType::Numeric, FormSlot::numerictestform, "app::Tnumerictestform"},
};

class TestScreenProgramTest : public testsupport::AppFixture {
public:
    ~TestScreenProgramTest() override { forms.DestroyAll(); }

    // The program's forms over its tables, the main window shown (which loads the settings and scales).
    void StartProgram(const testsupport::ConfigValues& values) {
        InstallApplicationTables(values);
        RegisterForms(forms, Runtime(), View());
        forms.CreateAll();
        zmain = forms.Get<Tzmain>(FormSlot::zmain);
        ASSERT_NE(zmain, nullptr);
        zmain->show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(zmain));
    }
    TestScreen& Screen(FormSlot slot) { return *forms.Get<TestScreen>(slot); }

    FormRegistry forms;
    Tzmain* zmain = nullptr;
};

// Keys on one screen, from what its source texts show, as a testee would.
class Keyer {
public:
    explicit Keyer(TestScreen& screen) : screen_(screen) {}

    QWidget* Focus() const { return QApplication::focusWidget(); }
    int FocusPosition() const {
        for (int position = 1; position <= screen_.Rules().fields; ++position) {
            if (&screen_.Entry(position) == Focus()) return position;
        }
        return 0;
    }
    // The keys for the position's shown source text: a mask supplies its own literals.
    std::string Keys(int position) const {
        std::string keys = ToBytes(screen_.Source(position).text());
        if (!screen_.Entry(position).inputMask().isEmpty()) {
            std::erase_if(keys, [](char c) { return c == '/' || c == '.'; });
        }
        return keys;
    }
    void Type(const std::string& keys) const { QTest::keyClicks(Focus(), db::widgets::ToQString(keys)); }
    void Key(Qt::Key key) const { QTest::keyClick(Focus(), key); }
    std::string Text(int position) const { return ToBytes(screen_.Entry(position).displayText()); }

private:
    TestScreen& screen_;
};

// A different key of the same kind: a digit for a digit, a letter for anything else.
char Wrong(char c) {
    if (c >= '0' && c <= '9') return c == '1' ? '2' : '1';
    return c == 'Q' ? 'Z' : 'Q';
}

TEST_F(TestScreenProgramTest, ARealTestOfEachTypeRunsFromItsCommandToTheTimeOut) {
    testsupport::ConfigValues values;
    values.autoadvance = true;
    values.realtime = 2;
    StartProgram(values);
    const struct {
        ScreenType type;
        FormSlot slot;
        std::function<void(Tzmain&)> command;
    } runs[] = {
        {ScreenType::Alpha, FormSlot::alphatestform, [](Tzmain& main) { main.Realmode1Click(); }},
        {ScreenType::Alphanumeric, FormSlot::alphanumerictestform, [](Tzmain& main) { main.Real1Click(); }},
        {ScreenType::Numeric, FormSlot::numerictestform, [](Tzmain& main) { main.Real2Click(); }},
    };
    for (const auto& run : runs) {
        SCOPED_TRACE(TypeName(run.type));
        messages.Clear();
        TestScreen& screen = Screen(run.slot);
        const int fields = screen.Rules().fields;
        std::vector<std::vector<std::string>> keyed(3, std::vector<std::string>(fields + 1));
        int scored = 0;
        screen.scoretestHook = [&] {
            ++scored;
            screen.updatekeyed();  // as scoring does first
            EXPECT_EQ(screen.maxscreen, 2);
            for (int position = 1; position <= fields; ++position) {
                EXPECT_EQ(screen.keyedtext.At(1, position), screen.Rules().Stored(keyed[1][position], position))
                    << "screen 1, field " << position;
            }
            for (int position = 1; position <= 2; ++position) {
                EXPECT_EQ(screen.keyedtext.At(2, position), screen.Rules().Stored(keyed[2][position], position))
                    << "screen 2, field " << position;
            }
            screen.SetModalResult(mrOk);
        };
        testsupport::ModalScript script(10000);
        script.Expect("app::Tgetnameform", [](QWidget& dialog) {
            dialog.findChild<QLineEdit*>("Edit1")->setText(QStringLiteral("Ann"));
            dialog.findChild<QLineEdit*>("Edit2")->setText(QStringLiteral("Lee"));
            dialog.findChild<QPushButton*>("BitBtn1")->click();
        });
        script.Expect(kSlots[static_cast<int>(run.type)].className, [&](QWidget& modal) {
            ASSERT_EQ(&modal, &screen);
            ASSERT_TRUE(QTest::qWaitForWindowActive(&modal));
            const Keyer keyer(screen);
            EXPECT_EQ(ToBytes(screen.windowTitle()).substr(0, 9), "2 minute ");
            // Screen 1: an error in field 1, field 2 short and closed by Enter, the rest advance by
            // themselves, the last onto screen 2.
            for (int position = 1; position <= fields; ++position) {
                ASSERT_EQ(keyer.FocusPosition(), position);
                std::string keys = keyer.Keys(position);
                ASSERT_GE(keys.size(), 2u);
                if (position == 1) keys[0] = Wrong(keys[0]);
                if (position == 2) keys.pop_back();
                if (position < fields) {
                    keyer.Type(keys);
                    keyed[1][position] = keyer.Text(position);
                } else {
                    // The last key ends the screen and clears the fields: the last field is unmasked.
                    keyer.Type(keys.substr(0, keys.size() - 1));
                    keyed[1][position] = keyer.Text(position) + keys.back();
                    keyer.Type(keys.substr(keys.size() - 1));
                }
                if (position == 2) keyer.Key(Qt::Key_Return);
            }
            ASSERT_EQ(screen.curscreen, 2);
            EXPECT_EQ(screen.testdb.RecNo(), 2);
            // Screen 2: field 1 with its last key wrong, then back to screen 1 and on again.
            std::string keys = keyer.Keys(1);
            keys.back() = Wrong(keys.back());
            keyer.Type(keys);
            keyed[2][1] = keyer.Text(1);
            EXPECT_EQ(keyer.FocusPosition(), 2);
            screen.prevscreenbtn->click();
            EXPECT_EQ(screen.curscreen, 1);
            EXPECT_EQ(keyer.Text(1), keyed[1][1]);
            screen.nextscreenbtn->click();
            EXPECT_EQ(screen.curscreen, 2);
            EXPECT_EQ(keyer.Text(1), screen.Rules().Stored(keyed[2][1], 1));
            keyer.Key(Qt::Key_Down);
            keyer.Type(keyer.Keys(2).substr(0, 2));
            keyed[2][2] = keyer.Text(2);
            time.Advance(2 * 60);
            screen.Timer1Timer();
        });
        run.command(*zmain);
        EXPECT_TRUE(script.WaitDone());
        EXPECT_EQ(scored, 1);
        EXPECT_TRUE(State().realmode);
        EXPECT_EQ(messages.Boxes(), (std::vector<Box>{{BoxKind::Information, "Keyvale", "Test is complete..."}}));
        EXPECT_FALSE(screen.testdb.Active());
    }
}

TEST_F(TestScreenProgramTest, CancelAsksTheMainWindowsPasswordPrompt) {
    testsupport::ConfigValues values;
    values.password = "ABC";
    StartProgram(values);
    TestScreen& screen = Screen(FormSlot::numerictestform);
    int scored = 0;
    screen.scoretestHook = [&scored] { ++scored; };
    testsupport::ModalScript script;
    script.Expect("app::Tnumerictestform", [&screen](QWidget&) { screen.BitBtn1->click(); });
    script.Expect("app::TgetpasswordForm", [](QWidget& prompt) {
        QTest::keyClicks(prompt.findChild<QLineEdit*>("Edit1"), "abc");
        prompt.findChild<QPushButton*>("BitBtn1")->click();
    });
    zmain->Practice1Click();
    EXPECT_TRUE(script.WaitDone());
    EXPECT_FALSE(screen.isVisible());
    EXPECT_EQ(screen.ModalResult(), mrCancel);
    EXPECT_FALSE(screen.testdb.Active());
    EXPECT_EQ(scored, 0);
}

TEST_F(TestScreenProgramTest, StartUpScalesTheScreensAndTheSettingsRescaleNewOnes) {
    testsupport::ConfigValues values;
    values.scalefactor = 20;
    StartProgram(values);
    QWidget* before[3] = {};
    for (const auto& slot : kSlots) {
        SCOPED_TRACE(slot.className);
        const QSize design = [&] {
            switch (slot.type) {
                case ScreenType::Alpha:
                    return Talphatestform(State(), View(), {}).size();
                case ScreenType::Alphanumeric:
                    return Talphanumerictestform(State(), View(), {}).size();
                case ScreenType::Numeric:
                    break;
            }
            return Tnumerictestform(State(), View(), {}).size();
        }();
        EXPECT_EQ(Screen(slot.slot).size(), design * 1.2);
        before[static_cast<int>(slot.type)] = &Screen(slot.slot);
        // Ten per cent of the design, not of the scaled screen.
        forms.RescaleTestScreens(10);
        EXPECT_EQ(Screen(slot.slot).size(), design * 1.1);
        forms.RescaleTestScreens(20);
    }
    // The new screens run a test.
    TestScreen& screen = Screen(FormSlot::alphatestform);
    EXPECT_NE(&screen, before[0]);
    testsupport::ModalScript script;
    script.Expect("app::Talphatestform", [&screen](QWidget& modal) {
        ASSERT_TRUE(QTest::qWaitForWindowActive(&modal));
        EXPECT_EQ(ToBytes(screen.windowTitle()), "5 minute alpha practice mode test in progress (Record: 1)");
        EXPECT_EQ(ToBytes(screen.Source(1).text()), screen.testdb.FieldByName("FIRST").AsString());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_X);
        EXPECT_EQ(ToBytes(screen.Entry(1).displayText()), "x");
        EXPECT_TRUE(screen.Timer1.isActive());
        screen.done(mrCancel);
    });
    State().realmode = false;
    zmain->ShowModal(FormSlot::alphatestform);
    EXPECT_TRUE(script.WaitDone());
}

}  // namespace
}  // namespace app
