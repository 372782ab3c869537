// Two copies of the program on one program directory: the scenario's own and a second in a process of its
// own (keyvale-e2e-copy), each meeting the other's hold on the tables as a user at another station would.
#include <QAbstractItemModel>
#include <QApplication>
#include <QFile>

#include <gtest/gtest.h>

#include <string>

#include "app/forms/zmain.h"
#include "db/widgets/DBGrid.h"
#include "tests/app/e2e/SecondCopy.h"
#include "tests/app/e2e/support/Driving.h"
#include "tests/app/e2e/support/ModalAnswers.h"
#include "tests/app/e2e/support/ScenarioTest.h"
#include "tests/support/ModalGrace.h"
#include "tests/support/ModalScript.h"

namespace e2e {
namespace {

using testsupport::ModalScript;

// How long each window may take to come: on a loaded machine a sanitized build is slow.
constexpr int kWindowTimeoutMs = 30000;
// The watchdog's grace while a window of this copy stays open until a step of the other's has its answer.
constexpr int kWaitOnCopyGraceMs = 120000;
// And while a window of this copy is busy on its own for a while: a test screen waiting for its countdown's
// next tick after the time-out (a second of real time), a generator filling its table. A loaded machine
// stretches both.
constexpr int kBusyWindowGraceMs = 30000;

// The second copy's testee, and how the results window lists the name.
constexpr const char* kSecondCopysTest = "real numeric Copy,Second";
const QString kSecondTestee = QStringLiteral("Copy, Second");

const QString kNumericGenerator = QStringLiteral("app::Tnewnumerictestform");

class TwoCopiesTest : public ScenarioTest {
protected:
    QByteArray ProgramFileBytes(const char* name) {
        QFile file(Dir().ProgramFile(QLatin1String(name)));
        EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name;
        return file.readAll();
    }

    // File, New, numeric: the generator's window, then the message box it ends with, answered.
    SeenBox NewNumeric() {
        const testsupport::ScopedModalGrace grace(kBusyWindowGraceMs);
        SeenBox box;
        ModalScript script(kWindowTimeoutMs);
        script.Expect(kNumericGenerator, [](QWidget&) {}).Expect(kMessageBox, AnswerBox(&box));
        Trigger(Program().Main(), QStringLiteral("File/New/numeric"));
        EXPECT_TRUE(script.WaitDone());
        return box;
    }
};

// The names the results window lists, in its rows' order.
QStringList ListedNames(QWidget& results) {
    const QAbstractItemModel& grid = *results.findChild<db::widgets::TDBGrid*>(QStringLiteral("DBGrid1"))->model();
    QStringList names;
    for (int row = 0; row < grid.rowCount(); ++row) names << grid.index(row, 0).data().toString();
    return names;
}

// The other copy reads numeric.dat for its test: the generator cannot have the table to itself, says so and
// leaves it as it was; once the other copy has ended, the same command refills it.
TEST_F(TwoCopiesTest, WhileTheSecondKeysANumericTestFileNewNumericIsRefusedAndChangesNothing) {
    SecondCopy second(Dir().ProgramDir());
    ASSERT_EQ(second.Greeting(), "ok");
    ASSERT_EQ(second.Step(kSecondCopysTest), "ok");
    const QByteArray records = ProgramFileBytes("numeric.DAT");
    const QByteArray index = ProgramFileBytes("numeric.IDX");

    const SeenBox refused = NewNumeric();
    EXPECT_EQ(refused.text, "Could not get exclusive use of database. Try later.");
    EXPECT_EQ(refused.title, "Error");
    EXPECT_TRUE(ProgramFileBytes("numeric.DAT") == records) << "numeric.DAT changed";
    EXPECT_TRUE(ProgramFileBytes("numeric.IDX") == index) << "numeric.IDX changed";

    EXPECT_EQ(second.Step("time out"), "Test is complete...");
    EXPECT_EQ(second.Quit(), 0);
    EXPECT_EQ(NewNumeric().text, "New numeric test created successfully.");
    EXPECT_FALSE(ProgramFileBytes("numeric.DAT") == records) << "numeric.DAT was not refilled";
}

// A result the second copy stores while this copy's results window is open is listed at the next opening.
TEST_F(TwoCopiesTest, TheSecondsResultStoredWhileTheFirstBrowsesShowsOnReopening) {
    SecondCopy second(Dir().ProgramDir());
    ASSERT_EQ(second.Greeting(), "ok");
    ASSERT_EQ(second.Step(kSecondCopysTest), "ok");
    const testsupport::ScopedModalGrace grace(kWaitOnCopyGraceMs);
    QStringList before;
    QStringList after;
    std::string stored;
    ModalScript script(kWindowTimeoutMs);
    script
        .Expect(kResultsWindow,
                [&](QWidget& results) {
                    before = ListedNames(results);
                    stored = second.Step("time out");
                    Click(Button(results, QStringLiteral("Close")));
                })
        .Expect(kResultsWindow, [&](QWidget& results) {
            after = ListedNames(results);
            Click(Button(results, QStringLiteral("Close")));
        });
    Click(Button(Program().Main(), QStringLiteral("kvColorButton6")));
    Click(Button(Program().Main(), QStringLiteral("kvColorButton6")));
    EXPECT_TRUE(script.WaitDone());
    EXPECT_EQ(stored, "Test is complete...");
    EXPECT_EQ(before, QStringList{});
    EXPECT_EQ(after, QStringList{kSecondTestee});
    EXPECT_EQ(second.Quit(), 0);
}

// Delete all needs results.dat to itself: while the second copy browses it, the first is told so and its
// window closes, nothing deleted; once the second has quit, Delete all empties the table.
TEST_F(TwoCopiesTest, DeleteAllIsRefusedWhileTheSecondBrowsesAndSucceedsAfterItQuits) {
    SecondCopy second(Dir().ProgramDir());
    ASSERT_EQ(second.Greeting(), "ok");
    ASSERT_EQ(second.Step(kSecondCopysTest), "ok");
    ASSERT_EQ(second.Step("time out"), "Test is complete...");
    ASSERT_EQ(second.Step("results open"), "ok");
    {
        SeenBox refused;
        QStringList listed;
        ModalScript script(kWindowTimeoutMs);
        script
            .Expect(kResultsWindow,
                    [&](QWidget& results) {
                        listed = ListedNames(results);
                        Click(Button(results, QStringLiteral("Delete all")));
                    })
            .Expect(kMessageBox, AnswerBox(nullptr, QMessageBox::Yes))
            .Expect(kMessageBox, AnswerBox(&refused));
        Click(Button(Program().Main(), QStringLiteral("kvColorButton6")));
        EXPECT_TRUE(script.WaitDone());  // the results window has closed too
        EXPECT_EQ(listed, QStringList{kSecondTestee});
        EXPECT_EQ(refused.text, "Unable to get exclusive use of table.  Please try later.");
    }
    EXPECT_EQ(second.Step("results close"), "ok");
    EXPECT_EQ(second.Quit(), 0);
    EXPECT_EQ(StoredResults().size(), 1u);
    {
        QStringList listed;
        ModalScript script(kWindowTimeoutMs);
        script
            .Expect(kResultsWindow,
                    [&](QWidget& results) {
                        Click(Button(results, QStringLiteral("Delete all")));
                        listed = ListedNames(results);
                        Click(Button(results, QStringLiteral("Close")));
                    })
            .Expect(kMessageBox, AnswerBox(nullptr, QMessageBox::Yes));
        Click(Button(Program().Main(), QStringLiteral("kvColorButton6")));
        EXPECT_TRUE(script.WaitDone());
        EXPECT_EQ(listed, QStringList{});
    }
    EXPECT_TRUE(StoredResults().empty());
}

// Bad input: another program holds results.dat to itself when a real test ends. The testee is told that the
// result could not be written and still gets the report; the table keeps what it had, and once it is free
// again the next test is stored.
TEST_F(TwoCopiesTest, ResultsHeldExclusivelyByTheSecondAtTimeOutIsReportedAndTheReportStillShown) {
    const int seconds = StoredConfig().realtime * 60;
    ASSERT_GT(seconds, 0);
    // A real numeric test keyed in this copy: the name, the first field, the time-out, and what follows it.
    const auto realNumericTest = [&](SeenBox* failure, QStringList* report) {
        const testsupport::ScopedModalGrace grace(kBusyWindowGraceMs);
        SeenBox complete;
        ModalScript script(kWindowTimeoutMs);
        script.Expect(kNameDialog, EnterName(QStringLiteral("Ann"), QStringLiteral("Lee")))
            .Expect(kNumericScreen,
                    [&](QWidget& screen) {
                        Type(SourceTexts(screen).front());
                        PressEnter();
                        AdvanceClock(Program().Clock(), seconds);
                    })
            .Expect(kMessageBox, AnswerBox(&complete));
        if (failure != nullptr) script.Expect(kMessageBox, AnswerBox(failure));
        script.Expect(kReportWindow, ReadReport(report));
        Click(Button(Program().Main(), QStringLiteral("kvColorButton2")));
        EXPECT_TRUE(script.WaitDone());
        EXPECT_EQ(complete.text, "Test is complete...");
    };

    SecondCopy second(Dir().ProgramDir());
    ASSERT_EQ(second.Greeting(), "ok");
    ASSERT_EQ(second.Step("hold results"), "ok");
    SeenBox failure;
    QStringList report;
    realNumericTest(&failure, &report);
    EXPECT_EQ(failure.text, "Error writing results to the database.");
    EXPECT_TRUE(report.contains(QStringLiteral("Testee name: Lee, Ann"))) << report.join('\n').toStdString();

    ASSERT_EQ(second.Step("release results"), "ok");
    EXPECT_TRUE(StoredResults().empty());
    realNumericTest(nullptr, &report);
    ASSERT_EQ(StoredResults().size(), 1u);
    EXPECT_EQ(StoredResults().front().name, "Lee, Ann");
    EXPECT_EQ(second.Quit(), 0);
}

}  // namespace
}  // namespace e2e
