#include "db/BlobField.h"

#include <gtest/gtest.h>

#include <string>

#include "MemDataSet.h"
#include "RecordingLink.h"
#include "db/DataSource.h"
#include "rtl/Stream.h"

namespace {

using namespace db;
using db_test::TMemDataSet;

class Memo : public ::testing::Test {
protected:
    void SetUp() override {
        table_.SetColumns({{"ID", ftInteger}, {"NOTES", ftMemo}});
        table_.Open();
        table_.AppendRecord({1});
    }
    TBlobField& Notes() { return dynamic_cast<TBlobField&>(table_.FieldByName("NOTES")); }

    TMemDataSet table_;
};

TEST_F(Memo, AWrittenValueIsClosedOnceAtPost) {
    table_.Insert();
    table_.FieldByName("ID").SetAsInteger(2);
    Notes().SetAsString("first part");
    EXPECT_TRUE(Notes().Modified());
    EXPECT_TRUE(table_.Modified());
    Notes().SetAsString("the error log");  // a second stream reuses the open value
    EXPECT_EQ(Notes().AsString(), "the error log");
    const int before = table_.CloseBlobCount();
    table_.Post();
    EXPECT_EQ(table_.CloseBlobCount() - before, 1);
    EXPECT_FALSE(Notes().Modified());
    EXPECT_EQ(Notes().AsString(), "the error log");
    table_.Cancel();  // browsing: nothing left to close
    EXPECT_EQ(table_.CloseBlobCount() - before, 1);
}

TEST_F(Memo, CancelClosesTheValueAndKeepsTheStoredOne) {
    table_.Edit();
    Notes().SetAsString("stored");
    table_.Post();
    table_.Edit();
    Notes().SetAsString("dropped");
    const int before = table_.CloseBlobCount();
    table_.Cancel();
    EXPECT_EQ(table_.CloseBlobCount() - before, 1);
    EXPECT_EQ(Notes().AsString(), "stored");
}

TEST_F(Memo, StreamsFollowTheirModes) {
    table_.Edit();
    {
        auto out = table_.CreateBlobStream(&Notes(), bmWrite);
        out->WriteBuffer("hello world", 11);
    }
    {
        auto in = table_.CreateBlobStream(&Notes(), bmRead);  // reads the written, unposted value
        char text[5] = {};
        in->Seek(6, rtl::soBeginning);
        EXPECT_EQ(in->Read(text, 5), 5);
        EXPECT_EQ(std::string(text, 5), "world");
        in->Seek(100, rtl::soBeginning);
        EXPECT_EQ(in->Read(text, 5), 0);
        EXPECT_EQ(in->Position(), 100);
    }
    {
        auto rewrite = table_.CreateBlobStream(&Notes(), bmWrite);  // starts from an empty value
        rewrite->WriteBuffer("x", 1);
    }
    EXPECT_EQ(Notes().AsString(), "x");
    table_.Post();
    EXPECT_THROW(table_.CreateBlobStream(&Notes(), bmWrite), rtl::EDatabaseError);  // not editing
    rtl::TMemoryStream saved;
    Notes().SaveToStream(saved);
    EXPECT_EQ(saved.Size(), 1);
}

TEST_F(Memo, AnEmptyDatasetHasNothingToRead) {
    table_.Close();
    table_.SetColumns({{"NOTES", ftMemo}});
    table_.Open();
    auto in = table_.CreateBlobStream(&Notes(), bmRead);
    char c;
    EXPECT_EQ(in->Read(&c, 1), 0);
    EXPECT_TRUE(Notes().IsNull());
    EXPECT_EQ(Notes().AsString(), "");
}

TEST_F(Memo, AWrittenValueTellsTheLinks) {
    TDataSource source;
    source.SetDataSet(&table_);
    db_test::RecordingLink link;
    link.SetDataSource(&source);
    table_.Edit();
    link.Take();
    Notes().SetAsString("changed");
    EXPECT_EQ(link.Take(), std::vector<std::string>{"record NOTES"});
    EXPECT_FALSE(Notes().IsNull());
    Notes().Clear();
    EXPECT_TRUE(Notes().IsNull());  // a written empty value counts as none
}

}  // namespace
