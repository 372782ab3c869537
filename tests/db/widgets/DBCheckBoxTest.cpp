#include "db/widgets/DBCheckBox.h"

#include <QTest>

#include <gtest/gtest.h>

#include <string>

#include "MemDataSet.h"
#include "WidgetTestSupport.h"
#include "db/DataSource.h"
#include "db/Field.h"

namespace {

using namespace db;
using db::widgets::TDBCheckBox;
using db_test::TMemDataSet;
using db_widgets_test::HookSpy;

// One record with a field for every case of the table.
class CheckBox : public ::testing::Test {
protected:
    void SetUp() override {
        table_.SetColumns({{"YES", ftBoolean},
                           {"NO", ftBoolean},
                           {"UNSET", ftBoolean},
                           {"WORD", ftString, 10},
                           {"OTHER", ftString, 10},
                           {"NUMBER", ftInteger}});
        table_.Open();
        table_.AppendRecord({true, false, rtl::Variant::Null(), "true", "yes", 1});
        table_.First();
        table_.BeforeEdit = [this](TDataSet&) { ++edits_; };
        source_.SetDataSet(&table_);
        box_.SetDataSource(&source_);
        box_.setText("Use uppercase only");
        box_.resize(box_.sizeHint());  // a click in the middle lands on the box or its caption
    }

    TMemDataSet table_;
    TDataSource source_;
    TDBCheckBox box_;
    int edits_ = 0;
};

TEST_F(CheckBox, CheckedOnlyForTrueInAnyCase) {
    struct Case {
        const char* field;
        bool checked;
    };
    for (const Case& c : {Case{"YES", true}, Case{"NO", false}, Case{"UNSET", false}, Case{"WORD", true},
                          Case{"OTHER", false}, Case{"NUMBER", false}}) {
        SCOPED_TRACE(c.field);
        box_.SetDataField(c.field);
        EXPECT_EQ(box_.isChecked(), c.checked);
        EXPECT_EQ(box_.checkState(), c.checked ? Qt::Checked : Qt::Unchecked);
    }
    EXPECT_EQ(table_.State(), dsBrowse);
    EXPECT_EQ(edits_, 0);
}

TEST_F(CheckBox, AClickOrSpaceWritesTheToggledStoredValue) {
    struct Case {
        const char* field;
        const char* written;
    };
    for (const Case& c : {Case{"NO", "True"}, Case{"YES", "False"}, Case{"UNSET", "True"},
                          Case{"WORD", "False"}, Case{"OTHER", "True"}}) {
        SCOPED_TRACE(c.field);
        box_.SetDataField(c.field);
        QTest::mouseClick(&box_, Qt::LeftButton);
        EXPECT_EQ(table_.State(), dsEdit);
        EXPECT_EQ(table_.FieldByName(c.field).AsString(), c.written);
        EXPECT_EQ(box_.isChecked(), std::string(c.written) == "True");
        table_.Post();
        EXPECT_EQ(table_.FieldByName(c.field).AsString(), c.written);
    }
    box_.SetDataField("NO");  // now True
    QTest::keyClick(&box_, Qt::Key_Space);
    EXPECT_EQ(table_.FieldByName("NO").AsString(), "False");
    EXPECT_FALSE(box_.isChecked());
}

TEST_F(CheckBox, TheToggleStartsFromTheStoredValue) {
    box_.SetDataField("NO");
    table_.SetStoredValue(0, "NO", true);  // another program checked it meanwhile
    EXPECT_FALSE(box_.isChecked());
    box_.click();
    EXPECT_EQ(table_.FieldByName("NO").AsString(), "False");
    EXPECT_FALSE(box_.isChecked());
}

TEST_F(CheckBox, ARefusedEditChangesNothing) {
    HookSpy hook;
    box_.SetDataField("NO");
    table_.FailNextEdit();
    box_.click();
    EXPECT_FALSE(box_.isChecked());
    EXPECT_EQ(table_.State(), dsBrowse);
    EXPECT_EQ(hook.Messages(), (std::vector<std::string>{"Record locked by another user"}));

    table_.FieldByName("NO").SetReadOnly(true);
    box_.click();
    EXPECT_FALSE(box_.isChecked());
    EXPECT_EQ(table_.State(), dsBrowse);
    EXPECT_EQ(hook.Count(), 1);

    // A field that cannot take the words reports the conversion.
    box_.SetDataField("NUMBER");
    box_.click();
    EXPECT_FALSE(box_.isChecked());
    EXPECT_EQ(table_.FieldByName("NUMBER").AsInteger(), 1);
    EXPECT_EQ(hook.Count(), 2);
}

}  // namespace
