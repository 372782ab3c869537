#include "app/forms/resultsForm.h"

#include <QComboBox>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/controls/ColorButton.h"
#include "app/core/dbfuncs.h"
#include "app/forms/DataModule.h"
#include "app/forms/zmain.h"
#include "components/TARNISTable.h"
#include "db/widgets/DBMemoView.h"
#include "db/widgets/DBNavigator.h"
#include "tests/app/forms/ResultsWindowFixture.h"
#include "tests/engine/support/HolderProcess.h"
#include "tests/support/ModalScript.h"
#include "tests/support/PdfText.h"
#include "tests/support/WaitUntil.h"

namespace app {
namespace {

using testsupport::Box;
using testsupport::BoxKind;
using testsupport::ModalScript;
using Names = std::vector<std::string>;

const Names kNaturalOrder = {"Cole, Ann", "Adams, Bo", "Evans, Cy", "Baker, Di", "Fox, Ed", "Dunn, Flo"};

class ResultsFormTest : public testsupport::ResultsWindowFixture {
protected:
    // The records of the table, read through a handle of their own.
    int StoredCount() {
        components::TTARNISTable table;
        table.SetTableName(State().progdir + "results.dat");
        table.Open();
        return table.RecordCount();
    }
    void Click(const char* button) { emit Window().Button(button).clicked(); }
};

TEST_F(ResultsFormTest, TheWindowShowsItsTextsAndOpensTheTable) {
    Install(testsupport::SixResults());
    Show();
    EXPECT_EQ(Window().windowTitle(), "Test Results");
    EXPECT_EQ(Window().HelpContext(), 5000);
    EXPECT_TRUE(Window().windowState() & Qt::WindowMaximized);
    EXPECT_TRUE(Window().resultsdb.Active());
    EXPECT_EQ(Window().resultsdb.LockRetryCount(), 15);
    EXPECT_EQ(Window().resultsdb.LockWaitTime(), 100);
    const auto& columns = Window().DBGrid1().Columns();
    ASSERT_EQ(columns.size(), 11u);
    EXPECT_EQ(columns[0].FieldName, "NAME");
    EXPECT_EQ(columns[0].Title, "Testee Name");
    EXPECT_EQ(columns[10].FieldName, "TESTDATE");
    EXPECT_EQ(columns[10].Title, "Test Date");
    // The navigator keeps one row of buttons at their height in the tall panel.
    EXPECT_EQ(Window().DBNavigator2().height(), 25);
    const struct {
        const char* name;
        const char* caption;
        const char* hint;
    } buttons[] = {
        {"closebtn", "Close", "Close the results window"},
        {"kvColorButton2", "Print", "Print selected only"},
        {"kvColorButton3", "Print all", "Print entire list"},
        {"kvColorButton4", "Delete all", "Delete all results records"},
        {"viewbtn", "Hide errors", "View/hide error window"},
    };
    for (const auto& b : buttons) {
        EXPECT_EQ(Window().Button(b.name).Caption(), QStringList{b.caption});
        EXPECT_EQ(Window().Button(b.name).toolTip(), b.hint);
        EXPECT_EQ(Window().Button(b.name).Color(), 0x808000u);
    }
    EXPECT_FALSE(Window().ComboBox1().isEditable());
    EXPECT_EQ(Window().ComboBox1().count(), 4);
    EXPECT_EQ(Window().ComboBox2().itemText(3), "Numeric");
    Click("closebtn");
    EXPECT_FALSE(Window().isVisible());
    EXPECT_FALSE(Window().resultsdb.Active());
}

TEST_F(ResultsFormTest, EachSortItemChoosesItsIndexAndTheGridFollows) {
    Install(testsupport::SixResults());
    Show(7);
    EXPECT_EQ(GridNames(), kNaturalOrder);
    const struct {
        int item;
        const char* index;
        Names order;
    } cases[] = {
        {0, "NAME", {"Adams, Bo", "Baker, Di", "Cole, Ann", "Dunn, Flo", "Evans, Cy", "Fox, Ed"}},
        {1, "KPH", {"Evans, Cy", "Fox, Ed", "Cole, Ann", "Dunn, Flo", "Adams, Bo", "Baker, Di"}},
        {2, "NETKPH", {"Adams, Bo", "Cole, Ann", "Baker, Di", "Dunn, Flo", "Fox, Ed", "Evans, Cy"}},
        {3, "DATE", {"Baker, Di", "Evans, Cy", "Dunn, Flo", "Cole, Ann", "Fox, Ed", "Adams, Bo"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.index);
        Pick(Window().ComboBox1(), c.item);
        EXPECT_EQ(Window().resultsdb.IndexName(), c.index);
        EXPECT_EQ(GridNames(), c.order);
    }
}

TEST_F(ResultsFormTest, EachFilterItemShowsItsTestTypeOnly) {
    Install(testsupport::SixResults());
    Show(0);
    const struct {
        int item;
        Names shown;
    } cases[] = {
        {2, {"Baker, Di", "Cole, Ann"}},  // "Alpha" is not "alphanumeric"
        {1, {"Adams, Bo", "Fox, Ed"}},
        {3, {"Dunn, Flo", "Evans, Cy"}},
        {0, {"Adams, Bo", "Baker, Di", "Cole, Ann", "Dunn, Flo", "Evans, Cy", "Fox, Ed"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.item);
        Pick(Window().ComboBox2(), c.item);
        EXPECT_EQ(GridNames(), c.shown);
    }
    Pick(Window().ComboBox2(), 2);
    EXPECT_EQ(Window().resultsdb.Filter(), "TESTTYPE='alpha'");
    EXPECT_TRUE(Window().resultsdb.Filtered());
}

// A table without the KPH index: the failure reaches the handler once and the window keeps its order.
TEST_F(ResultsFormTest, ASortOnAMissingIndexReportsOnceAndKeepsTheOrder) {
    keyvalesetup::TableSpec spec = testsupport::ResultsSpec();
    std::erase_if(spec.indexes, [](const auto& index) { return index.name == "KPH"; });
    InstallConfig();
    keyvalesetup::CreateApplicationTable(State().progdir, spec);
    testsupport::AddResults(State().progdir, testsupport::SixResults());
    MakeForms();
    Show(0);
    const Names byName = GridNames();
    Pick(Window().ComboBox1(), 1);
    EXPECT_EQ(TakeStops().size(), 1u);
    EXPECT_TRUE(Window().resultsdb.Active());
    EXPECT_EQ(GridNames(), byName);
    Pick(Window().ComboBox1(), 3);
    EXPECT_EQ(Window().resultsdb.IndexName(), "DATE");
}

TEST_F(ResultsFormTest, TheErrorPaneFlipsOnItsButtonAndFollowsTheRecord) {
    Install(testsupport::SixResults());
    Show(0);
    auto& pane = Window().DBRichEdit1();
    EXPECT_TRUE(pane.isVisible());
    EXPECT_EQ(pane.toPlainText(), "log of Adams, Bo");
    Window().resultsdb.Next();
    EXPECT_EQ(pane.toPlainText(), "log of Baker, Di");
    Click("viewbtn");
    EXPECT_FALSE(pane.isVisible());
    EXPECT_EQ(Window().Button("viewbtn").Caption(), QStringList{"View errors"});
    Click("viewbtn");
    EXPECT_TRUE(pane.isVisible());
    EXPECT_EQ(Window().Button("viewbtn").Caption(), QStringList{"Hide errors"});
}

// No results.dat: the failure reaches the application's handler and the window stays usable.
// An empty window over no table would only puzzle: it closes with a message that names the missing file.
TEST_F(ResultsFormTest, AMissingTableNamesTheFileAndTheWindowCloses) {
    InstallConfig();
    MakeForms();
    Window().PresetChoices(0);
    Window().show();
    EXPECT_TRUE(testsupport::waitUntil([this] { return !Window().isVisible(); }));
    const std::vector<testsupport::Box> stops = TakeStops();
    ASSERT_EQ(stops.size(), 1u);
    EXPECT_EQ(stops[0].text, "The table file \"" + State().progdir + "results.DAT\" does not exist.");
    EXPECT_FALSE(Window().resultsdb.Active());
    EXPECT_EQ(Window().ModalResult(), app::mrCancel);
}

// The rates, the accuracy and the duration show two decimals, as the list report prints them; the table
// keeps what it stored.
TEST_F(ResultsFormTest, TheGridShowsTwoDecimalsAndTheTableKeepsItsValues) {
    testsupport::StoredResult result;
    result.name = "Lee, Ann";
    result.kph = 945.426723753255;
    result.nkph = 12345.6;
    result.accuracy = 99.995;
    result.time = 1.01541449578333;
    Install({result});
    Show();
    auto& model = Window().DBGrid1().GridModel();
    std::vector<std::string> row;
    for (int column = 0; column < model.columnCount(); ++column) {
        row.push_back(model.data(model.index(0, column)).toString().toStdString());
    }
    ASSERT_EQ(row.size(), 11u);
    EXPECT_EQ(row[1], "945.43");
    EXPECT_EQ(row[2], "12,345.60");
    EXPECT_EQ(row[3], "100.00");
    EXPECT_EQ(row[4], "300");
    EXPECT_EQ(row[8], "1.02");
    EXPECT_EQ(Window().resultsdb.FieldByName("KPH").AsFloat(), 945.426723753255);
    EXPECT_EQ(Window().resultsdb.FieldByName("TIME").AsFloat(), 1.01541449578333);
}

// Nothing to print: no window opens (the test's watchdog would catch one left open).
TEST_F(ResultsFormTest, PrintOnAnEmptyViewOpensNoWindow) {
    Install({});
    Show(0);
    Click("kvColorButton2");
    EXPECT_FALSE(Showit().isVisible());
    testsupport::StoredResult alpha;
    alpha.name = "Lee, Ann";
    Window().close();
    testsupport::AddResults(State().progdir, {alpha});
    Show(0);
    Pick(Window().ComboBox2(), 3);  // numeric: none
    EXPECT_TRUE(Window().resultsdb.IsEmpty());
    Click("kvColorButton2");
    EXPECT_FALSE(Showit().isVisible());
}

// After a move past the last row the last record stays on display, and Print prints it.
TEST_F(ResultsFormTest, PrintShowsTheCurrentResultAlsoAfterAMovePastTheLastRow) {
    Install(testsupport::SixResults());
    Show(0);
    auto& navigator = Window().DBNavigator2();
    navigator.BtnClick(db::widgets::TDBNavigator::nbLast);
    Window().resultsdb.Next();
    ASSERT_TRUE(Window().resultsdb.Eof());
    std::vector<std::string> lines;
    ModalScript script;
    script.Expect("app::TshowitForm", [&](QWidget& modal) {
        lines = Showit().Lines();
        static_cast<QDialog&>(modal).reject();
    });
    Click("kvColorButton2");
    ASSERT_GE(lines.size(), 19u);
    EXPECT_EQ(lines[2], "Testee: Fox, Ed");
    EXPECT_EQ(lines[3], "Test date: 02/05/24");
    EXPECT_EQ(lines[4], "Real mode, test type: alphanumeric");
    EXPECT_EQ(lines[6], "Gross keystrokes per hour: 2000");
    EXPECT_EQ(lines[18], "log of Fox, Ed");
}

TEST_F(ResultsFormTest, PrintAllPreviewsTheListInTheWindowsOrderAndFilter) {
    Install(testsupport::SixResults());
    Show(3);
    Pick(Window().ComboBox2(), 2);
    Window().resultsdb.Last();
    Click("kvColorButton3");
    ASSERT_EQ(print.Jobs().size(), 1u);
    EXPECT_EQ(print.Jobs()[0].title, "Data entry test results");
    EXPECT_EQ(print.Jobs()[0].helpContext, 5000);
    const QString text = testsupport::PdfText(print.Jobs()[0].file);
    EXPECT_LT(text.indexOf("Baker, Di"), text.indexOf("Cole, Ann"));
    EXPECT_FALSE(text.contains("Adams"));
    EXPECT_EQ(Current("NAME"), "Cole, Ann");
}

TEST_F(ResultsFormTest, DeleteAllAnsweredNoChangesNothing) {
    Install(testsupport::SixResults());
    Show(0);
    messages.AnswerConfirm(false);
    Click("kvColorButton4");
    EXPECT_EQ(messages.Boxes().at(0), (Box{BoxKind::Confirm, "Confirm", "Do you really wish to delete ALL test results?"}));
    EXPECT_EQ(StoredCount(), 6);
    EXPECT_EQ(GridNames().size(), 6u);
}

TEST_F(ResultsFormTest, DeleteAllEmptiesTheTableAndKeepsTheWindowSortAndFilter) {
    Install(testsupport::SixResults());
    Show(1);
    Pick(Window().ComboBox2(), 2);
    messages.AnswerConfirm(true);
    Click("kvColorButton4");
    EXPECT_TRUE(Window().isVisible());
    EXPECT_TRUE(Window().resultsdb.Active());
    EXPECT_FALSE(Window().resultsdb.Exclusive());
    EXPECT_TRUE(Window().resultsdb.IsEmpty());
    EXPECT_EQ(Window().resultsdb.IndexName(), "KPH");
    EXPECT_EQ(Window().resultsdb.Filter(), "TESTTYPE='alpha'");
    EXPECT_TRUE(Window().resultsdb.Filtered());
    EXPECT_EQ(StoredCount(), 0);
}

// Another program holds the table: the message, the window closes, every record stays.
TEST_F(ResultsFormTest, DeleteAllWhileAnotherProgramHoldsTheTable) {
    Install(testsupport::SixResults());
    {
        enginetest::HolderProcess holder(enginetest::HolderProcess::TableMode{}, State().progdir + "results.DAT");
        ASSERT_TRUE(holder.Ready()) << holder.Greeting();
        Show(0);
        messages.AnswerConfirm(true);
        Click("kvColorButton4");
        EXPECT_EQ(messages.Boxes().back(),
                  (Box{BoxKind::Error, "Error", "Unable to get exclusive use of table.  Please try later."}));
        EXPECT_FALSE(Window().isVisible());
        EXPECT_FALSE(Window().resultsdb.Active());
        EXPECT_FALSE(Window().resultsdb.Exclusive());
        EXPECT_EQ(StoredCount(), 6);
    }
    Show(0);
    EXPECT_EQ(GridNames().size(), 6u);
}

TEST_F(ResultsFormTest, NavigatorDeleteInAFilteredViewRemovesTheCurrentRecordOnly) {
    Install(testsupport::SixResults());
    Show(0);
    Pick(Window().ComboBox2(), 1);  // Adams, Fox
    Window().resultsdb.Last();
    messages.AnswerConfirm(false);
    Window().DBNavigator2().BtnClick(db::widgets::TDBNavigator::nbDelete);
    EXPECT_EQ(StoredCount(), 6);
    messages.AnswerConfirm(true);
    Window().DBNavigator2().BtnClick(db::widgets::TDBNavigator::nbDelete);
    EXPECT_EQ(StoredCount(), 5);
    EXPECT_EQ(GridNames(), Names{"Adams, Bo"});
    Pick(Window().ComboBox2(), 0);
    EXPECT_EQ(GridNames(), (Names{"Adams, Bo", "Baker, Di", "Cole, Ann", "Dunn, Flo", "Evans, Cy"}));
}

// The main window's first show presets the choices; its Results command opens the window in that order.
TEST_F(ResultsFormTest, StartUpPresetsReachTheWindowThroughTheMainWindow) {
    const struct {
        int sort;
        int item;
        const char* index;
        const char* first;
    } cases[] = {
        {0, 0, "Name", "Adams, Bo"}, {1, 1, "KPH", "Evans, Cy"}, {2, 2, "NetKPH", "Adams, Bo"},
        {3, 3, "Date", "Baker, Di"}, {7, -1, "", "Cole, Ann"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sort);
        forms.DestroyAll();
        testsupport::ConfigValues values;
        values.sort = c.sort;
        for (const auto& table : keyvalesetup::ApplicationTables()) {
            for (const std::string& file : keyvalesetup::TableFileNames(State().progdir, table)) {
                std::filesystem::remove(file);
            }
        }
        InstallApplicationTables(values);
        testsupport::AddResults(State().progdir, testsupport::SixResults());
        forms.SetFactory(FormSlot::zmain, [this](QWidget*) { return std::make_unique<Tzmain>(forms, State(), View()); });
        forms.SetFactory(FormSlot::dbfuncs, [this](QWidget*) {
            return std::make_unique<TDataModule<Tdbfuncs>>(State(), messages);
        });
        MakeForms();
        forms.MainWindow()->show();
        ASSERT_TRUE(testsupport::waitUntil([this] { return Window().ComboBox2().currentIndex() == 0; }));
        EXPECT_EQ(Window().ComboBox1().currentIndex(), c.item);
        EXPECT_EQ(Window().ComboBox2().currentText(), "All results");
        EXPECT_EQ(Window().resultsdb.IndexName(), c.index);
        std::string first;
        ModalScript script;
        script.Expect("app::TresultsForm", [&](QWidget& modal) {
            first = GridNames().empty() ? "" : GridNames().front();
            static_cast<QDialog&>(modal).reject();
        });
        static_cast<Tzmain*>(forms.MainWindow())->resultsbtnClick();
        EXPECT_TRUE(script.WaitDone());
        EXPECT_EQ(first, c.first);
        forms.MainWindow()->hide();
    }
}

}  // namespace
}  // namespace app
