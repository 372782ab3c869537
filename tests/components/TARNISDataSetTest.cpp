#include "components/TARNISDataSet.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "components/ComponentTexts.h"
#include "components/TARNISDatabase.h"
#include "db/Field.h"
#include "db/Messages.h"
#include "engine/base/EngineError.h"
#include "rtl/Currency.h"
#include "rtl/Format.h"
#include "tests/components/support/DataSetFixture.h"

namespace {

using componenttest::CreatePeopleTable;
using componenttest::MessageOf;
using componenttest::TestDataSet;
using enginetest::EngineCode;
using enginetest::FieldDef;
using enginetest::IndexDef;

class TARNISDataSetTest : public componenttest::DataSetTest {
protected:
    void SetUp() override { CreatePeopleTable(DefaultSession()); }

    // The people table with records 1 "Ann", 2 "Bob", 3 "Cid", through a dataset that is closed again.
    void FillPeople() {
        auto dataSet = NewDataSet();
        dataSet->Open();
        AddPeople(*dataSet, {{1, "Ann"}, {2, "Bob"}, {3, "Cid"}});
    }

    static std::vector<std::string> Names(TestDataSet& dataSet) {
        std::vector<std::string> names;
        dataSet.First();
        while (!dataSet.Eof()) {
            names.push_back(dataSet.FieldByName("NAME").AsString());
            dataSet.Next();
        }
        return names;
    }
};

// ---- Navigation ----

TEST_F(TARNISDataSetTest, AnEmptyTableIsAtBothEnds) {
    auto dataSet = NewDataSet();
    dataSet->Open();
    EXPECT_TRUE(dataSet->Bof());
    EXPECT_TRUE(dataSet->Eof());
    EXPECT_TRUE(dataSet->IsEmpty());
    EXPECT_EQ(dataSet->RecordCount(), 0);
}

TEST_F(TARNISDataSetTest, FirstAndNextReachTheEndAndPriorFromThereGivesTheLast) {
    FillPeople();
    auto dataSet = NewDataSet();
    dataSet->Open();
    EXPECT_EQ(dataSet->RecordCount(), 3);
    dataSet->First();
    std::vector<int> recNos;
    for (int i = 0; i < 3; ++i) {
        EXPECT_FALSE(dataSet->Eof());
        recNos.push_back(dataSet->RecNo());
        dataSet->Next();
    }
    EXPECT_TRUE(dataSet->Eof());
    EXPECT_EQ(recNos, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(dataSet->FieldByName("NAME").AsString(), "Cid");
    dataSet->Prior();
    EXPECT_EQ(dataSet->FieldByName("NAME").AsString(), "Bob");
    dataSet->Last();
    EXPECT_TRUE(dataSet->Eof());
    EXPECT_EQ(dataSet->FieldByName("ID").AsInteger(), 3);
}

TEST_F(TARNISDataSetTest, TheWalkIsTheSameWhateverTheWindowSize) {
    FillPeople();
    auto dataSet = NewDataSet();
    dataSet->Open();
    // A data source asking for a wide window makes the framework read ahead with checks off.
    EXPECT_EQ(Names(*dataSet), (std::vector<std::string>{"Ann", "Bob", "Cid"}));
    dataSet->IndexName = "BYNAME";
    dataSet->Close();
    dataSet->Open();
    EXPECT_EQ(Names(*dataSet), (std::vector<std::string>{"Ann", "Bob", "Cid"}));
}

TEST_F(TARNISDataSetTest, AnInsertedRecordHasNoRecordNumberUntilPosted) {
    FillPeople();
    auto dataSet = NewDataSet();
    dataSet->Open();
    dataSet->Insert();
    EXPECT_EQ(dataSet->RecNo(), -1);
    dataSet->FieldByName("ID").SetAsInteger(0);
    dataSet->FieldByName("NAME").SetAsString("Zed");
    dataSet->Post();
    EXPECT_EQ(dataSet->RecNo(), 1);
    EXPECT_EQ(dataSet->FieldByName("NAME").AsString(), "Zed");
}

TEST_F(TARNISDataSetTest, SettingRecNoGoesToThatRecord) {
    FillPeople();
    auto dataSet = NewDataSet();
    dataSet->Open();
    dataSet->SetRecNo(3);
    EXPECT_EQ(dataSet->FieldByName("NAME").AsString(), "Cid");
    EXPECT_EQ(dataSet->RecNo(), 3);
    dataSet->SetRecNo(2);
    EXPECT_EQ(dataSet->FieldByName("NAME").AsString(), "Bob");
}

// ---- Editing ----

TEST_F(TARNISDataSetTest, EditsInsertsAndDeletesSurviveAReopen) {
    FillPeople();
    {
        auto dataSet = NewDataSet();
        dataSet->Open();
        dataSet->SetRecNo(2);
        dataSet->Edit();
        dataSet->FieldByName("NAME").SetAsString("Bea");
        dataSet->Post();
        dataSet->SetRecNo(1);
        dataSet->Delete();
        dataSet->InsertRecord({rtl::Variant(7), rtl::Variant(std::string("Gus"))});
    }
    auto dataSet = NewDataSet();
    dataSet->Open();
    EXPECT_EQ(Names(*dataSet), (std::vector<std::string>{"Bea", "Cid", "Gus"}));
    dataSet->Close();
    EXPECT_TRUE(enginetest::IsCleanTable("people"));
}

TEST_F(TARNISDataSetTest, ARecordBeingEditedIsLockedForAnotherDataSetUntilCancelled) {
    FillPeople();
    auto a = NewDataSet();
    auto b = NewDataSet();
    b->LockRetryCount = 0;
    a->Open();
    b->Open();
    a->Edit();
    EXPECT_EQ(EngineCode([&] { b->Edit(); }), 10258);
    EXPECT_EQ(b->State(), db::dsBrowse);
    a->Cancel();
    b->Edit();
    EXPECT_EQ(b->State(), db::dsEdit);
    b->FieldByName("NAME").SetAsString("Abe");
    b->Post();
    a->Refresh();
    EXPECT_EQ(a->FieldByName("NAME").AsString(), "Abe");
}

TEST_F(TARNISDataSetTest, CancelOfAnInsertLeavesNothing) {
    FillPeople();
    auto dataSet = NewDataSet();
    dataSet->Open();
    dataSet->Append();
    dataSet->FieldByName("ID").SetAsInteger(9);
    dataSet->Cancel();
    EXPECT_EQ(dataSet->RecordCount(), 3);
}

}  // namespace
