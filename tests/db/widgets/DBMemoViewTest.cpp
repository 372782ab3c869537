#include "db/widgets/DBMemoView.h"

#include <gtest/gtest.h>

#include "MemDataSet.h"
#include "db/DataSource.h"
#include "db/Field.h"

namespace {

using namespace db;
using db::widgets::TDBMemoView;
using db_test::TMemDataSet;

class MemoView : public ::testing::Test {
protected:
    void SetUp() override {
        table_.SetColumns({{"ID", ftInteger}, {"ERRORS", ftMemo}});
        table_.Open();
        table_.AppendRecord({1, "a\r\nb"});
        table_.AppendRecord({2, "one\ntwo\r\n\r\nthree"});
        table_.AppendRecord({3, rtl::Variant::Null()});
        table_.First();
        source_.SetDataSet(&table_);
        view_.SetDataSource(&source_);
        view_.SetDataField("ERRORS");
    }

    TMemDataSet table_;
    TDataSource source_;
    TDBMemoView view_;
};

TEST_F(MemoView, ShowsTheTextWithItsLineBreaksUnwrapped) {
    EXPECT_EQ(view_.toPlainText(), "a\nb");
    EXPECT_EQ(view_.blockCount(), 2);
    EXPECT_TRUE(view_.isReadOnly());
    EXPECT_EQ(view_.lineWrapMode(), QPlainTextEdit::NoWrap);
    EXPECT_EQ(view_.horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_EQ(view_.verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
}

TEST_F(MemoView, FollowsMovesChangesAndTheDatasetsState) {
    table_.Next();
    EXPECT_EQ(view_.toPlainText(), "one\ntwo\n\nthree");
    table_.Next();
    EXPECT_EQ(view_.toPlainText(), "");
    table_.First();
    EXPECT_EQ(view_.toPlainText(), "a\nb");

    table_.Edit();
    table_.FieldByName("ERRORS").SetAsString("changed");
    EXPECT_EQ(view_.toPlainText(), "changed");
    table_.Cancel();
    EXPECT_EQ(view_.toPlainText(), "a\nb");

    table_.Close();
    EXPECT_EQ(view_.toPlainText(), "");
    table_.Open();
    EXPECT_EQ(view_.toPlainText(), "a\nb");
}

TEST_F(MemoView, AnEmptyDatasetClearsIt) {
    while (!table_.IsEmpty()) table_.Delete();
    EXPECT_EQ(view_.toPlainText(), "");
    table_.AppendRecord({4, "back"});
    EXPECT_EQ(view_.toPlainText(), "back");
}

}  // namespace
