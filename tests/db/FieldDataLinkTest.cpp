#include "db/FieldDataLink.h"

#include <gtest/gtest.h>

#include <string>

#include "MemDataSet.h"
#include "NumbersTable.h"
#include "db/DataSource.h"
#include "db/Field.h"
#include "rtl/Exceptions.h"

namespace {

using namespace db;
using db_test::TMemDataSet;

// A stand-in for an edit control: shows its field's text and gives back what was typed.
class Control : public ::testing::Test {
protected:
    void SetUp() override {
        db_test::FillNumbers(table_, 3);
        source_.SetDataSet(&table_);
        link_.SetDataSource(&source_);
        link_.OnDataChange = [this] {
            text_ = link_.Field() == nullptr ? "" : link_.Field()->Text();
            ++shown_;
        };
        link_.OnUpdateData = [this] { link_.Field()->SetText(text_); };
        link_.SetFieldName("name");
    }
    // The user types into the control.
    void Type(const std::string& text) {
        ASSERT_TRUE(link_.Edit());
        text_ = text;
        link_.Modified();
    }
    std::string Stored(int recNo) {
        table_.SetRecNo(recNo);
        return table_.FieldByName("NAME").AsString();
    }

    TMemDataSet table_;
    TDataSource source_;
    TFieldDataLink link_;
    std::string text_;
    int shown_ = 0;
};

TEST_F(Control, BindsByNameWheneverTheDatasetOpensOrTheNameChanges) {
    EXPECT_EQ(link_.Field(), nullptr);
    table_.Open();
    ASSERT_NE(link_.Field(), nullptr);
    EXPECT_EQ(link_.Field(), &table_.FieldByName("NAME"));
    EXPECT_EQ(text_, "row 1");
    table_.Close();
    EXPECT_EQ(link_.Field(), nullptr);
    table_.Open();  // new default fields: bound again
    EXPECT_EQ(link_.Field(), &table_.FieldByName("NAME"));
    link_.SetFieldName("ID");
    EXPECT_EQ(link_.Field(), &table_.FieldByName("ID"));
    EXPECT_EQ(text_, "1");
    table_.Next();
    EXPECT_EQ(text_, "2");
    EXPECT_THROW(link_.SetFieldName("NOPE"), rtl::EDatabaseError);
}

TEST_F(Control, PendingTextIsPushedAtPostAndAtNext) {
    table_.Open();
    Type("typed");
    EXPECT_TRUE(link_.Editing());
    table_.Post();
    EXPECT_FALSE(link_.Editing());
    EXPECT_EQ(Stored(1), "typed");

    table_.First();
    Type("moved");
    table_.Next();
    EXPECT_EQ(table_.RecNo(), 2);
    EXPECT_EQ(text_, "row 2");
    EXPECT_EQ(Stored(1), "moved");
}

TEST_F(Control, ResetDropsThePendingText) {
    table_.Open();
    Type("never");
    link_.Reset();
    EXPECT_EQ(text_, "row 1");
    table_.Post();
    EXPECT_EQ(Stored(1), "row 1");
}

TEST_F(Control, ALockFailureSurfacesAtEdit) {
    table_.Open();
    table_.FailNextEdit();
    EXPECT_THROW(link_.Edit(), rtl::EDatabaseError);
    EXPECT_FALSE(link_.Editing());
    EXPECT_EQ(table_.State(), dsBrowse);
}

TEST_F(Control, AReadOnlyFieldIsNotEdited) {
    table_.Open();
    table_.FieldByName("NAME").SetReadOnly(true);
    EXPECT_FALSE(link_.CanModify());
    EXPECT_FALSE(link_.Edit());
    EXPECT_EQ(table_.State(), dsBrowse);
}

TEST_F(Control, TheControlOfARequiredEmptyFieldTakesTheFocus) {
    table_.Close();
    table_.SetColumns({{"ID", ftInteger}, {"NAME", ftString, 10, true}});
    table_.Open();
    int focused = 0;
    link_.OnFocusControl = [&] { ++focused; };
    table_.Insert();
    table_.FieldByName("ID").SetAsInteger(1);
    EXPECT_THROW(table_.Post(), rtl::EDatabaseError);
    EXPECT_EQ(focused, 1);
}

}  // namespace
