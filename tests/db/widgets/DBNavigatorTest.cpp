#include "db/widgets/DBNavigator.h"

#include <QTest>

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "MemDataSet.h"
#include "NumbersTable.h"
#include "WidgetTestSupport.h"
#include "db/DataSource.h"
#include "db/Field.h"
#include "rtl/Exceptions.h"

namespace {

using namespace db;
using db::widgets::TDBNavigator;
using db_test::TMemDataSet;
using db_widgets_test::ConfirmDouble;
using db_widgets_test::HookSpy;
using Enabled = std::array<bool, TDBNavigator::kButtonCount>;

class Navigator : public ::testing::Test {
protected:
    void SetUp() override {
        db_test::FillNumbers(table_, 5);
        source_.SetDataSet(&table_);
        navigator_.SetDataSource(&source_);
    }
    Enabled Buttons() const {
        Enabled enabled{};
        for (int i = 0; i < TDBNavigator::kButtonCount; ++i)
            enabled[i] = navigator_.Button(static_cast<TDBNavigator::TNavigateBtn>(i))->isEnabled();
        return enabled;
    }
    void Click(TDBNavigator::TNavigateBtn button) {
        QTest::mouseClick(navigator_.Button(button), Qt::LeftButton);
    }
    int Id() { return table_.FieldByName("ID").AsInteger(); }

    TMemDataSet table_;
    TDataSource source_;
    TDBNavigator navigator_;
};

TEST_F(Navigator, ButtonsByNameAndHint) {
    const char* names[] = {"nbFirst", "nbPrior", "nbNext", "nbLast", "nbDelete"};
    const char* hints[] = {"First record", "Prior record", "Next record", "Last record", "Delete record"};
    for (int i = 0; i < TDBNavigator::kButtonCount; ++i) {
        const QToolButton* button = navigator_.findChild<QToolButton*>(names[i]);
        ASSERT_NE(button, nullptr) << names[i];
        EXPECT_EQ(button, navigator_.Button(static_cast<TDBNavigator::TNavigateBtn>(i)));
        EXPECT_EQ(button->toolTip(), hints[i]);
        EXPECT_FALSE(button->icon().isNull());
    }
}

TEST_F(Navigator, ButtonsFollowTheDatasetsPosition) {
    struct Case {
        const char* where;
        std::function<void()> go;
        Enabled enabled;  // first, prior, next, last, delete
    };
    const Case cases[] = {
        {"closed", [] {}, {false, false, false, false, false}},
        {"opened", [&] { table_.Open(); }, {false, false, true, true, true}},
        {"middle", [&] { table_.MoveBy(2); }, {true, true, true, true, true}},
        {"last", [&] { table_.Last(); }, {true, true, false, false, true}},
        {"first", [&] { table_.First(); }, {false, false, true, true, true}},
        {"editing", [&] { table_.Edit(); }, {false, false, true, true, true}},
        {"empty",
         [&] {
             table_.Cancel();
             while (!table_.IsEmpty()) table_.Delete();
         },
         {false, false, false, false, false}},
        {"read-only",
         [&] {
             table_.Close();
             db_test::FillNumbers(table_, 5);
             table_.SetReadOnly(true);
             table_.Open();
             table_.Next();
         },
         {true, true, true, true, false}},
        {"closed again", [&] { table_.Close(); }, {false, false, false, false, false}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.where);
        c.go();
        EXPECT_EQ(Buttons(), c.enabled);
    }
}

TEST_F(Navigator, ButtonsMoveTheDataset) {
    table_.Open();
    Click(TDBNavigator::nbLast);
    EXPECT_EQ(Id(), 5);
    Click(TDBNavigator::nbPrior);
    EXPECT_EQ(Id(), 4);
    Click(TDBNavigator::nbFirst);
    EXPECT_EQ(Id(), 1);
    Click(TDBNavigator::nbNext);
    EXPECT_EQ(Id(), 2);
}

TEST_F(Navigator, DeleteAsksAndDeletesExactlyTheActiveRecord) {
    table_.Open();
    table_.SetRecNo(3);
    {
        ConfirmDouble no(false);
        Click(TDBNavigator::nbDelete);
        EXPECT_EQ(no.Questions(), (std::vector<QString>{"Delete record?"}));
        EXPECT_EQ(table_.StoredRowCount(), 5);
    }
    ConfirmDouble yes(true);
    Click(TDBNavigator::nbDelete);
    EXPECT_EQ(yes.Questions().size(), 1u);
    EXPECT_EQ(table_.StoredRowCount(), 4);
    EXPECT_FALSE(table_.Locate("ID", 3, 0));
    for (int id : {1, 2, 4, 5}) EXPECT_TRUE(table_.Locate("ID", id, 0)) << id;
}

TEST_F(Navigator, AFailingDeleteReachesTheHook) {
    HookSpy hook;
    ConfirmDouble yes(true);
    table_.Open();
    table_.BeforeDelete = [](TDataSet&) { throw rtl::EDatabaseError("Record locked by another user"); };
    Click(TDBNavigator::nbDelete);
    EXPECT_EQ(hook.Messages(), (std::vector<std::string>{"Record locked by another user"}));
    EXPECT_EQ(table_.StoredRowCount(), 5);
}

}  // namespace
