// The test screens' scoring: from the time-out through the store into results.dat and the report window.
#include <QApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "app/forms/showitForm.h"
#include "app/screens/TestScreen.h"
#include "app/screens/alphanumerictestform.h"
#include "app/screens/alphatestform.h"
#include "app/screens/numerictestform.h"
#include "components/TARNISTable.h"
#include "db/Field.h"
#include "db/widgets/Guarded.h"
#include "db/widgets/QtText.h"
#include "rtl/DateTime.h"
#include "rtl/FloatFormat.h"
#include "tests/engine/support/HolderProcess.h"
#include "tests/support/AppFixture.h"
#include "tests/support/ModalScript.h"
#include "tests/support/WaitUntil.h"
#include "tools/keyvale-setup/ApplicationRecords.h"
#include "tools/keyvale-setup/ApplicationTables.h"
#include "tools/keyvale-setup/ExclusiveTable.h"

namespace app {
namespace {

using db::widgets::ToBytes;
using enginetest::HolderProcess;
using testsupport::Box;
using testsupport::BoxKind;
using testsupport::ModalScript;

// A screen over a program directory of its own, shown without a modal loop, with the report window the
// program would give it. Keys go where the focus is; the time-out comes from the fake clock.
class TestScreenScoringTest : public testsupport::AppFixture {
public:
    TestScreenScoringTest() {
        AppState& state = State();
        state.realtime = 5;
        state.practicetime = 5;
        state.realmode = true;
        state.rresults = true;
        state.presults = true;
        state.fname = "Ann";
        state.lname = " Smith ";
        InstallTables();
    }
    ~TestScreenScoringTest() override {
        if (screen) screen->hide();
    }

    // invsort with 60 records (a practice test starts on the 50th), numeric with 200, no result.
    void InstallTables() {
        using keyvalesetup::TableId;
        for (const keyvalesetup::TableSpec& table : keyvalesetup::ApplicationTables()) {
            if (table.id == TableId::Config) continue;
            keyvalesetup::CreateApplicationTable(State().progdir, table);
            if (table.id == TableId::Results) continue;
            keyvalesetup::WithExclusiveTable(keyvalesetup::TablePath(State().progdir, table), [&](db::TDataSet& data) {
                if (table.id == TableId::Invsort) {
                    keyvalesetup::WriteInvsortRecords(data, draws, 60, rtl::Date());
                } else {
                    keyvalesetup::WriteNumericRecords(data, draws, 5);
                }
            });
        }
    }

    TestScreen& Start(ScreenType type) {
        const TestScreen::TPasswordGate gate = [this] {
            ++gateCalls;
            return true;
        };
        switch (type) {
            case ScreenType::Alpha: screen = std::make_unique<Talphatestform>(State(), View(), gate); break;
            case ScreenType::Alphanumeric:
                screen = std::make_unique<Talphanumerictestform>(State(), View(), gate);
                break;
            case ScreenType::Numeric: screen = std::make_unique<Tnumerictestform>(State(), View(), gate); break;
        }
        screen->reportWindow = [this] { return &report; };
        screen->show();
        screen->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(screen.get()));
        EXPECT_TRUE(testsupport::waitUntil([this] { return screen->Entry(1).hasFocus(); }));
        return *screen;
    }

    QWidget* Focus() const { return QApplication::focusWidget(); }
    void Enter() { QTest::keyClick(Focus(), Qt::Key_Return); }
    // Keys typed one by one; the masks supply their own "/" and ".".
    void Type(std::string text) {
        if (!screen->Entry(FocusPosition()).inputMask().isEmpty())
            std::erase_if(text, [](char c) { return c == '/' || c == '.'; });
        QTest::keyClicks(Focus(), db::widgets::ToQString(text));
    }
    int FocusPosition() const {
        for (int position = 1; position <= screen->Rules().fields; ++position) {
            if (&screen->Entry(position) == Focus()) return position;
        }
        return 0;
    }
    // The source text of a field of the record on display, as scoring compares with it.
    std::string Expected(int position) {
        const db::TField& field = screen->testdb.FieldByName(screen->Rules().FieldName(position, State().usedecimal));
        return screen->Rules().type == ScreenType::Numeric ? rtl::VarToStr(field.AsVariant()) : field.AsString();
    }

    // The first tick at 300 s after the first key; the report window, when expected, is read and closed.
    void TimeOut(bool reportExpected = true) {
        time.Advance(300);
        std::unique_ptr<ModalScript> script;
        if (reportExpected) {
            script = std::make_unique<ModalScript>();
            script->Expect("app::TshowitForm", [this](QWidget&) {
                shownLines = report.Lines();
                ++reports;
                report.BitBtn1().click();
            });
        }
        // Without a script a report window would stay open: the watchdog fails the test then.
        QObject::connect(&report, &QDialog::finished, [this] { ++closedReports; });
        screen->Timer1Timer();
        if (script) {
            EXPECT_TRUE(script->Done());
        }
    }

    // A fresh table component over results.dat, at its first record.
    std::unique_ptr<components::TTARNISTable> Results() {
        auto table = std::make_unique<components::TTARNISTable>();
        table->SetTableName(State().progdir + "results.dat");
        table->Open();
        table->First();
        return table;
    }
    int StoredResults() { return Results()->RecordCount(); }

    app::SystemRandomSource draws;
    TshowitForm report{messages, print};
    std::unique_ptr<TestScreen> screen;
    std::vector<std::string> shownLines;
    int reports = 0;
    int closedReports = 0;
    int gateCalls = 0;
};

std::string Rate(double value) {
    return rtl::FormatFloat("0.00", value);
}

// ---- Modes ----

TEST_F(TestScreenScoringTest, RealModeWithoutTheReportStoresAndCloses) {
    State().rresults = false;
    Start(ScreenType::Alpha);
    Type(Expected(1));
    TimeOut(false);
    EXPECT_EQ(closedReports, 0);
    EXPECT_FALSE(screen->isVisible());
    EXPECT_EQ(StoredResults(), 1);
    EXPECT_EQ(messages.Boxes(), (std::vector<Box>{{BoxKind::Information, "Keyvale", "Test is complete..."}}));
}

TEST_F(TestScreenScoringTest, RealModeWithNothingKeyedStoresAnEmptyScore) {
    Start(ScreenType::Numeric);
    QTest::keyClick(Focus(), Qt::Key_Down);  // the first key starts the clock
    TimeOut();
    EXPECT_EQ(reports, 1);
    const auto table = Results();
    ASSERT_EQ(table->RecordCount(), 1);
    EXPECT_EQ(table->FieldByName("TOTALFLDS").AsInteger(), 0);
    EXPECT_EQ(table->FieldByName("TOTALKS").AsInteger(), 0);
    EXPECT_DOUBLE_EQ(table->FieldByName("ACCURACY").AsFloat(), 100);
    EXPECT_DOUBLE_EQ(table->FieldByName("KPH").AsFloat(), 0);
    EXPECT_EQ(table->FieldByName("ERRORS").AsString(), "");
    table->Close();
}

TEST_F(TestScreenScoringTest, PracticeWithResultsShowsTheReportAndStoresNothing) {
    State().realmode = false;
    Start(ScreenType::Alphanumeric);
    const std::string invoice = Expected(1);
    Type(invoice);
    TimeOut();
    ASSERT_EQ(reports, 1);
    ASSERT_GE(shownLines.size(), 17u);
    EXPECT_EQ(shownLines[3], "Test type: Alphanumeric, practice mode");
    EXPECT_EQ(shownLines[9], "Total keystrokes: 9");
    EXPECT_EQ(shownLines.size(), 17u);
    EXPECT_FALSE(screen->isVisible());
    EXPECT_EQ(StoredResults(), 0);
}

TEST_F(TestScreenScoringTest, PracticeWithoutResultsLeavesTheScreenOpenUntilCancel) {
    State().realmode = false;
    State().presults = false;
    Start(ScreenType::Alpha);
    Type("JOX");
    TimeOut(false);
    EXPECT_EQ(closedReports, 0);
    EXPECT_TRUE(screen->isVisible());
    EXPECT_FALSE(screen->Entry(1).isEnabled());
    EXPECT_TRUE(screen->RichEdit1->toPlainText().isEmpty());
    EXPECT_EQ(StoredResults(), 0);
    screen->BitBtn1->click();
    EXPECT_EQ(gateCalls, 1);
    EXPECT_FALSE(screen->isVisible());
}

// ---- Failures ----

TEST_F(TestScreenScoringTest, AResultsTableHeldElsewhereLosesTheResultButNotTheReport) {
    HolderProcess holder(State().progdir + "results.DAT", "exclusive", "write", 60000, true);
    ASSERT_TRUE(holder.Ready()) << holder.Greeting();
    Start(ScreenType::Alpha);
    Type(Expected(1));
    TimeOut();
    EXPECT_EQ(messages.Boxes(), (std::vector<Box>{{BoxKind::Information, "Keyvale", "Test is complete..."},
                                                  {BoxKind::Error, "Error", "Error writing results to the database."}}));
    EXPECT_EQ(reports, 1);
    EXPECT_FALSE(screen->isVisible());
    EXPECT_EQ(holder.Release(), 0);
    EXPECT_EQ(StoredResults(), 0);
}

TEST_F(TestScreenScoringTest, ALockedResultsTableFailsThePostAndTheCloseDropsIt) {
    HolderProcess holder(HolderProcess::TableMode{}, State().progdir + "results");
    ASSERT_TRUE(holder.Ready()) << holder.Greeting();
    ASSERT_EQ(holder.Send("locktable"), "ok");
    Start(ScreenType::Alpha);
    Type(Expected(1));
    TimeOut();
    ASSERT_EQ(messages.Boxes().size(), 2u);
    EXPECT_EQ(messages.Boxes()[1].text, "Error writing results to the database.");
    EXPECT_EQ(reports, 1);
    EXPECT_FALSE(screen->isVisible());
    EXPECT_FALSE(screen->resultsdb.Active());
    EXPECT_EQ(holder.Release(), 0);
    EXPECT_EQ(StoredResults(), 0);
}

TEST_F(TestScreenScoringTest, AMissingSourceFieldStoresNothingAndLeavesTheScreenOpen) {
    // A numeric table without its last decimal field, its records written field by field.
    keyvalesetup::TableSpec numeric = *keyvalesetup::FindApplicationTable("numeric");
    std::erase_if(numeric.fields, [](const keyvalesetup::FieldSpec& f) { return f.name == "nd25"; });
    for (const char* file : {"numeric.DAT", "numeric.IDX"}) std::remove((State().progdir + file).c_str());
    keyvalesetup::CreateApplicationTable(State().progdir, numeric);
    keyvalesetup::WithExclusiveTable(keyvalesetup::TablePath(State().progdir, numeric), [](db::TDataSet& data) {
        for (int record = 0; record < 3; ++record) {
            data.Append();
            for (int position = 1; position <= 25; ++position) {
                data.FieldByName("n" + std::to_string(position)).SetAsInteger(1000 + position);
                if (position < 25) data.FieldByName("nd" + std::to_string(position)).SetAsFloat(1.5);
            }
            data.Post();
        }
    });
    Start(ScreenType::Numeric);
    Type(Expected(1));
    // Scoring reads the decimal fields, one of which the table lacks.
    screen->scoretestHook = [this] {
        State().usedecimal = true;
        screen->scoretest();
    };
    time.Advance(300);
    db::widgets::Guarded([this] { screen->Timer1Timer(); });
    const std::vector<Box> stops = TakeStops();
    ASSERT_EQ(stops.size(), 1u);
    EXPECT_NE(stops[0].text.find("nd25"), std::string::npos) << stops[0].text;
    EXPECT_TRUE(screen->isVisible());
    EXPECT_FALSE(screen->Entry(1).isEnabled());
    EXPECT_EQ(reports, 0);
    EXPECT_EQ(StoredResults(), 0);
    screen->BitBtn1->click();
    EXPECT_FALSE(screen->isVisible());
}

// ---- End to end: one real-mode test of each type, keyed key by key ----

// Keystrokes a field's text counts: the alphanumeric date's and amount's mask literals are not keyed.
int Strokes(ScreenType type, int position, const std::string& text) {
    int strokes = static_cast<int>(text.size());
    if (type == ScreenType::Alphanumeric && position == 2) strokes -= 2;
    if (type == ScreenType::Alphanumeric && position == 3) strokes -= 1;
    return strokes;
}

// The text with its last character wrong.
std::string LastWrong(std::string text) {
    char& c = text.back();
    c = c >= '0' && c <= '8' ? static_cast<char>(c + 1) : c == '9' ? '0' : c == 'Q' ? 'X' : 'Q';
    return text;
}

class EndToEndTest : public TestScreenScoringTest {
protected:
    // Screen 1 keyed as shown, each field closed by Enter; on screen 2 the first field with its last
    // character wrong and Enter, then the second begun (the alphanumeric date keyed in full): the last
    // keyed field. One field error, one keystroke error.
    void Run(ScreenType type, const std::string& typeLine, const std::string& word) {
        Start(type);
        const int fields = screen->Rules().fields;
        int keystrokes = 0;
        for (int position = 1; position <= fields; ++position) {
            const std::string expected = Expected(position);
            Type(expected);
            Enter();
            keystrokes += Strokes(type, position, expected) + 1;
        }
        ASSERT_EQ(screen->curscreen, 2);
        const std::string expected1 = Expected(1);
        const std::string keyed1 = LastWrong(expected1);
        Type(keyed1);
        Enter();
        keystrokes += Strokes(type, 1, keyed1) + 1;
        const std::string expected2 = Expected(2);
        const std::string keyed2 = type == ScreenType::Alphanumeric ? expected2 : expected2.substr(0, 2);
        Type(keyed2);
        keystrokes += Strokes(type, 2, keyed2) + (keyed2.size() >= expected2.size() ? 1 : 0);
        TimeOut();

        const double kph = keystrokes * 60.0 / 5;
        const double accuracy = 100 - 1.0 / keystrokes * 100;
        const std::vector<std::string> log = {"Record no.: 2, Field no.: 1, 1 errors.", "Keyed    >" + keyed1,
                                              "On Record>" + expected1, ""};
        std::vector<std::string> lines = {"Test Results",
                                          "",
                                          "Test date: 01/15/24",
                                          "Testee name: Smith, Ann",
                                          typeLine,
                                          "",
                                          "Gross keystrokes per hour: " + Rate(kph),
                                          "Net keystrokes per hour: " + Rate(kph * accuracy / 100),
                                          "Accuracy: " + Rate(accuracy),
                                          "Duration (minutes): 5.00",
                                          "Total keystrokes: " + std::to_string(keystrokes),
                                          "Keystroke errors: 1",
                                          "Total fields: " + std::to_string(fields + 2),
                                          "Total field errors: 1",
                                          "",
                                          "Error logging:",
                                          "==============",
                                          ""};
        lines.insert(lines.end(), log.begin(), log.end());
        ASSERT_EQ(reports, 1);
        EXPECT_EQ(shownLines, lines);
        EXPECT_FALSE(screen->isVisible());
        EXPECT_EQ(ToBytes(screen->RichEdit1->toPlainText()), log[0] + "\n" + log[1] + "\n" + log[2] + "\n");

        const auto table = Results();
        ASSERT_EQ(table->RecordCount(), 1);
        EXPECT_EQ(table->FieldByName("NAME").AsString(), "Smith, Ann");
        EXPECT_DOUBLE_EQ(table->FieldByName("NKPH").AsFloat(), kph * accuracy / 100);
        EXPECT_DOUBLE_EQ(table->FieldByName("KPH").AsFloat(), kph);
        EXPECT_EQ(table->FieldByName("TOTERRS").AsInteger(), 1);
        EXPECT_EQ(table->FieldByName("FLDERRS").AsInteger(), 1);
        EXPECT_DOUBLE_EQ(table->FieldByName("TESTTIME").AsDateTime(), time.Time());
        EXPECT_DOUBLE_EQ(table->FieldByName("TESTDATE").AsDateTime(), rtl::EncodeDate(2024, 1, 15));
        EXPECT_DOUBLE_EQ(table->FieldByName("TIME").AsFloat(), 5);
        EXPECT_EQ(table->FieldByName("TOTALFLDS").AsInteger(), fields + 2);
        EXPECT_EQ(table->FieldByName("TOTALKS").AsInteger(), keystrokes);
        EXPECT_DOUBLE_EQ(table->FieldByName("ACCURACY").AsFloat(), accuracy);
        EXPECT_EQ(table->FieldByName("TESTTYPE").AsString(), word);
        EXPECT_EQ(table->FieldByName("ERRORS").AsString(), log[0] + "\r\n" + log[1] + "\r\n" + log[2] + "\r\n");
        table->Close();
    }
};

TEST_F(EndToEndTest, Alpha) {
    Run(ScreenType::Alpha, "Test type: Alpha, real mode", "alpha");
}

TEST_F(EndToEndTest, Alphanumeric) {
    Run(ScreenType::Alphanumeric, "Test type: Alphanumeric, real mode", "alphanumeric");
}

TEST_F(EndToEndTest, Numeric) {
    Run(ScreenType::Numeric, "Test type: Numeric, real mode", "numeric");
}

}  // namespace
}  // namespace app
