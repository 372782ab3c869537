// Bad input as users give it: each gets its clear answer, loses nothing, and leaves the program usable.
#include <QFile>
#include <QLineEdit>
#include <QPointer>

#include <gtest/gtest.h>

#include "app/forms/FormRegistry.h"
#include "app/forms/zmain.h"
#include "app/program/Program.h"
#include "app/services/Application.h"
#include "tests/app/e2e/AdminSteps.h"
#include "tests/app/e2e/support/Driving.h"
#include "tests/app/e2e/support/ModalAnswers.h"
#include "tests/app/e2e/support/ScenarioTest.h"
#include "tests/support/ModalScript.h"
#include "tests/support/WaitUntil.h"

namespace e2e {
namespace {

using testsupport::ModalScript;

// The numeric screen's entry fields.
constexpr int kNumericFields = 25;

class BadInputScenarioTest : public ScenarioTest {
protected:
    // Moves one of the program directory's files out of it, and back at the end of the scenario, before the
    // tables' check: the file as the scenario found it.
    void PutAside(const QString& name) {
        const QString from = Dir().ProgramFile(name);
        aside_ = {from, Dir().Root() + QStringLiteral("/aside-") + name};
        ASSERT_TRUE(QFile::rename(aside_.first, aside_.second)) << from.toStdString();
    }
    void PutBack() {
        if (aside_.first.isEmpty()) return;
        EXPECT_TRUE(QFile::rename(aside_.second, aside_.first)) << aside_.first.toStdString();
        aside_ = {};
    }
    void TearDown() override {
        Stop();
        PutBack();
        ScenarioTest::TearDown();
    }

    QString Practice(const char* test) const {
        return QStringLiteral("%1 minute %2 practice mode test in progress (Record: 1)")
            .arg(StoredConfig().practicetime)
            .arg(QLatin1String(test));
    }

private:
    std::pair<QString, QString> aside_;
};

// Without `usedecimal`, letters and "." never reach a numeric field: what was keyed stays, and the digits
// around them go on to make the value.
TEST_F(BadInputScenarioTest, LettersAndAPointLeaveANumericFieldAsItWas) {
    ASSERT_FALSE(StoredConfig().usedecimal);
    QString value;
    QString afterBad;
    QString afterMixed;
    bool movedOn = false;
    ModalScript script;
    script.Expect(kNumericScreen, [&](QWidget& screen) {
        value = SourceTexts(screen).at(0);
        Type(QStringLiteral("a.Z"));
        afterBad = EntryField(screen, 1).text();
        Type(value.left(2) + QStringLiteral(".x") + value.mid(2));
        afterMixed = EntryField(screen, 1).text();
        PressEnter();
        movedOn = WaitForFocus(EntryField(screen, 2));
        Click(Control<QWidget>(screen, "BitBtn1"));
    });
    Trigger(Program().Main(), QStringLiteral("Tests/Numeric/Practice"));
    EXPECT_TRUE(script.WaitDone());
    ASSERT_GE(value.size(), 3) << value.toStdString();
    EXPECT_EQ(afterBad, "");
    EXPECT_EQ(afterMixed, value);
    EXPECT_TRUE(movedOn);
}

// Enter on an empty field stays in it; Next with an empty field goes to that field and keeps the screen and
// what was keyed; once it is filled, Next moves on.
TEST_F(BadInputScenarioTest, EnterOnAnEmptyFieldAndNextWithOneKeepTheScreen) {
    const QString first = Practice("numeric");
    bool enterStayed = false;
    QString refusedCaption;
    bool toTheEmptyOne = false;
    QStringList keptAfterRefusal;
    QStringList values;
    QString nextCaption;
    QStringList nextEntries;
    ModalScript script;
    script.Expect(kNumericScreen, [&](QWidget& screen) {
        values = SourceTexts(screen);
        PressEnter();
        enterStayed = &Focused() == &EntryField(screen, 1);
        // Field 2 skipped with Down; the others keyed with Enter between them, the last without.
        Type(values.at(0));
        PressEnter();
        Press(Qt::Key_Down);
        for (int position = 3; position <= kNumericFields; ++position) {
            Type(values.at(position - 1));
            if (position < kNumericFields) PressEnter();
        }
        auto& next = Control<QWidget>(screen, "nextscreenbtn");
        Click(next);
        refusedCaption = screen.windowTitle();
        toTheEmptyOne = WaitForFocus(EntryField(screen, 2));
        keptAfterRefusal = EntryTexts(screen);
        Type(values.at(1));
        Click(next);
        nextCaption = screen.windowTitle();
        nextEntries = EntryTexts(screen);
        Click(Control<QWidget>(screen, "BitBtn1"));
    });
    Trigger(Program().Main(), QStringLiteral("Tests/Numeric/Practice"));
    EXPECT_TRUE(script.WaitDone());
    ASSERT_EQ(values.size(), kNumericFields);
    EXPECT_TRUE(enterStayed);
    EXPECT_EQ(refusedCaption, first);
    EXPECT_TRUE(toTheEmptyOne);
    QStringList keyed = values;
    keyed[1].clear();
    EXPECT_EQ(keptAfterRefusal, keyed);
    QString second = first;
    EXPECT_EQ(nextCaption, second.replace(QStringLiteral("(Record: 1)"), QStringLiteral("(Record: 2)")));
    EXPECT_EQ(nextEntries, QStringList(QList<QString>(kNumericFields)));
}

// OK with the last name empty keeps the dialog, the first name and the focus on the last name; with it
// filled the test starts.
TEST_F(BadInputScenarioTest, TheNameDialogKeepsAskingWhileTheLastNameIsEmpty) {
    QString firstKept;
    bool focusOnLast = false;
    bool testOpened = false;
    ModalScript script;
    script.Expect(kNameDialog, EnterName(QStringLiteral("Ann"), QString()))
        .Expect(kNameDialog,
                [&](QWidget& dialog) {
                    firstKept = Control<QLineEdit>(dialog, "Edit1").text();
                    focusOnLast = WaitForFocus(Control<QLineEdit>(dialog, "Edit2"));
                    Type(QStringLiteral("Lee"));
                    Click(Control<QWidget>(dialog, "BitBtn1"));
                })
        .Expect(kNumericScreen, [&](QWidget& screen) {
            testOpened = true;
            Click(Control<QWidget>(screen, "BitBtn1"));
        });
    Trigger(Program().Main(), QStringLiteral("Tests/Numeric/Real"));
    EXPECT_TRUE(script.WaitDone());
    EXPECT_EQ(firstKept, "Ann");
    EXPECT_TRUE(focusOnLast);
    EXPECT_TRUE(testOpened);
    const testsupport::ConfigValues config = StoredConfig();
    EXPECT_EQ(config.fname, "Ann");
    EXPECT_EQ(config.lname, "Lee");
    EXPECT_TRUE(StoredResults().empty());
}

// Letters in a time field: the framework's message on leaving it, the focus back on it, and the file as it
// was; a number then saves.
TEST_F(BadInputScenarioTest, LettersInASettingsTimeFieldAreRefusedAndANumberThenSaved) {
    const int before = StoredConfig().realtime;
    const RefusedEntry entry = RefuseThenSaveRealTime(Program().Main(), QStringLiteral("abc"), QStringLiteral("7"),
                                                      [this] { return StoredConfig().realtime; });
    EXPECT_EQ(entry.box.title, "Keyvale");
    EXPECT_EQ(entry.box.text, "'abc' is not a valid integer value.");
    EXPECT_TRUE(entry.focusBack);
    EXPECT_EQ(entry.kept, "abc");
    EXPECT_EQ(entry.storedMeanwhile, before);
    EXPECT_EQ(StoredConfig().realtime, 7);
    EXPECT_EQ(Program().State().realtime, 7);
}

// Two different entries: the message, both edits emptied, the focus on the first, nothing stored; the same
// entry twice then sets it.
TEST_F(BadInputScenarioTest, TwoDifferentNewPasswordsAreRefusedAndTheSameTwiceThenSet) {
    SeenBox differ;
    bool emptied = false;
    bool focusOnFirst = false;
    std::string storedMeanwhile = "?";
    SeenBox changed;
    ModalScript script;
    script.Expect(kPasswordChange, ChangePassword(QStringLiteral("abc"), QStringLiteral("abd")))
        .Expect(kMessageBox, AnswerBox(&differ))
        .Expect(kPasswordChange,
                [&](QWidget& dialog) {
                    emptied = Control<QLineEdit>(dialog, "Edit1").text().isEmpty() &&
                              Control<QLineEdit>(dialog, "Edit2").text().isEmpty();
                    focusOnFirst = WaitForFocus(Control<QLineEdit>(dialog, "Edit1"));
                    storedMeanwhile = StoredConfig().password;
                    ChangePassword(QStringLiteral("abc"), QStringLiteral("abc"))(dialog);
                })
        .Expect(kMessageBox, AnswerBox(&changed));
    Trigger(Program().Main(), QStringLiteral("Admin/Password"));
    EXPECT_TRUE(script.WaitDone());
    EXPECT_EQ(differ.title, "Error");
    EXPECT_EQ(differ.text, "Passwords are not the same. Please try again.");
    EXPECT_TRUE(emptied);
    EXPECT_TRUE(focusOnFirst);
    EXPECT_EQ(storedMeanwhile, "");
    EXPECT_EQ(changed.text, "Password change successful.");
    EXPECT_EQ(StoredConfig().password, "ABC");
}

// numeric.DAT gone: the numeric test says which file is missing and does not start, nothing is stored, the
// other tests run on, and with the file back the numeric test runs again in the same run.
TEST_F(BadInputScenarioTest, AMissingNumericTableNamesTheFileAndTheProgramGoesOn) {
    PutAside(QStringLiteral("numeric.DAT"));
    SeenBox failure;
    {
        ModalScript script;
        script.Expect(kNameDialog, EnterName(QStringLiteral("Ann"), QStringLiteral("Lee")))
            .Expect(kMessageBox, AnswerBox(&failure));
        Click(Button(Program().Main(), QStringLiteral("N")));
        EXPECT_TRUE(script.WaitDone());
    }
    EXPECT_EQ(failure.title, "Keyvale");
    EXPECT_EQ(failure.text, QStringLiteral("The table file \"") + Dir().ProgramFile(QStringLiteral("numeric.DAT")) +
                                QStringLiteral("\" does not exist."));
    EXPECT_FALSE(Program().Form<QWidget>(app::FormSlot::numerictestform).isVisible());
    EXPECT_TRUE(StoredResults().empty());

    QString alpha;
    QString numeric;
    ModalScript script;
    script
        .Expect(kAlphanumericScreen,
                [&](QWidget& screen) {
                    alpha = screen.windowTitle();
                    Click(Control<QWidget>(screen, "BitBtn1"));
                })
        .Expect(kNumericScreen, [&](QWidget& screen) {
            numeric = screen.windowTitle();
            Click(Control<QWidget>(screen, "BitBtn1"));
        });
    Trigger(Program().Main(), QStringLiteral("Tests/Alphanumeric/Practice"));
    PutBack();
    Trigger(Program().Main(), QStringLiteral("Tests/Numeric/Practice"));
    EXPECT_TRUE(script.WaitDone());
    EXPECT_EQ(alpha, Practice("alphanumeric"));
    EXPECT_EQ(numeric, Practice("numeric"));
}

class MissingConfigScenarioTest : public BadInputScenarioTest {
protected:
    bool StartsAtSetUp() const override { return false; }
};

// The program started on a config table it cannot read: no test, no settings, no password gate. It says
// which file, why, and how to make it anew, and its main window closes, which ends the program.
void StartAndSeeItEnd(const ScenarioDir& dir, SeenBox& box) {
    ModalScript script;
    script.Expect(kMessageBox, AnswerBox(&box));
    app::Program program(*app::Application(), dir.Progdir(), app::RegisterForms);
    auto* main = program.Forms().Get<app::Tzmain>(app::FormSlot::zmain);
    ASSERT_NE(main, nullptr);
    main->show();
    EXPECT_TRUE(script.WaitDone());
    EXPECT_TRUE(main->SettingsUnread());
    EXPECT_TRUE(testsupport::waitUntil([main] { return !main->isVisible(); }));
}

// config.DAT gone, then damaged: each start ends after one message that names the file, gives the reason
// and the keyvale-setup command. With the file back, the next start reads it without a word.
TEST_F(MissingConfigScenarioTest, AnUnreadableConfigTableEndsTheProgramWithItsReason) {
    const QString dat = Dir().ProgramFile(QStringLiteral("config.DAT"));
    const QString setup = QStringLiteral("Keyvale does not run without its settings and ends now. To make "
                                         "config.dat anew, run:\nkeyvale-setup --force \"") +
                          Dir().ProgramDir() + QStringLiteral("\" config");
    PutAside(QStringLiteral("config.DAT"));
    SeenBox missing;
    StartAndSeeItEnd(Dir(), missing);
    EXPECT_EQ(missing.title, "Error");
    EXPECT_EQ(missing.text, QStringLiteral("Error reading config.dat: ") + dat + QStringLiteral("\n\nThe table file \"") +
                                dat + QStringLiteral("\" does not exist.\n\n") + setup);

    // A record file cut short: the engine's own reason.
    {
        QFile cut(dat);
        ASSERT_TRUE(cut.open(QIODevice::WriteOnly));
        ASSERT_EQ(cut.write(QByteArray(16, '\0')), 16);
    }
    SeenBox damaged;
    StartAndSeeItEnd(Dir(), damaged);
    EXPECT_TRUE(damaged.text.startsWith(QStringLiteral("Error reading config.dat: ") + dat + QStringLiteral("\n\n")))
        << damaged.text.toStdString();
    EXPECT_FALSE(damaged.text.contains(QStringLiteral("does not exist"))) << damaged.text.toStdString();
    EXPECT_TRUE(damaged.text.endsWith(setup)) << damaged.text.toStdString();
    ASSERT_TRUE(QFile::remove(dat));

    PutBack();
    Start();
    EXPECT_EQ(Program().State().realtime, StoredConfig().realtime);
}

}  // namespace
}  // namespace e2e
