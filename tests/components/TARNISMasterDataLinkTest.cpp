#include "components/TARNISMasterDataLink.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "components/TARNISTable.h"
#include "db/DataSource.h"
#include "db/Messages.h"
#include "rtl/Variant.h"
#include "tests/components/support/TableComponentFixture.h"

namespace {

using components::TTARNISTable;
using componenttest::CreatePeopleTable;
using componenttest::MessageOf;
using componenttest::TestTable;

// A master of people and a detail of their orders, linked by the person's ID.
class TARNISMasterDataLinkTest : public componenttest::TableComponentTest {
protected:
    void SetUp() override {
        CreatePeopleTable(DefaultSession());
        {
            components::SessionLockGuard lock(DefaultSession());
            std::vector<engine::TFieldDesc> fields = {
                enginetest::FieldDef(1, "ORDERID", engine::FieldTypeInteger),
                enginetest::FieldDef(2, "PERSON", engine::FieldTypeInteger),
                enginetest::FieldDef(3, "ITEM", engine::FieldTypeString, 20)};
            std::vector<engine::TIndexDescriptor> indexes = {enginetest::IndexDef("", {1}),
                                                             enginetest::IndexDef("BYPERSON", {2, 3})};
            enginetest::CreateTable("orders", fields, indexes);
        }
        master_ = NewTable("people");
        master_->Open();
        AddPeople(*master_, {{1, "Ann"}, {2, "Bob"}, {3, "Cid"}});
        detail_ = NewTable("orders");
        detail_->Open();
        int id = 0;
        for (const auto& [person, item] : std::vector<std::pair<int, std::string>>{
                 {1, "apple"}, {2, "bread"}, {1, "cheese"}, {3, "dates"}, {2, "eggs"}, {1, "figs"}}) {
            detail_->Append();
            detail_->FieldByName("ORDERID").SetAsInteger(++id);
            detail_->FieldByName("PERSON").SetAsInteger(person);
            detail_->FieldByName("ITEM").SetAsString(item);
            detail_->Post();
        }
        detail_->Close();
        source_.SetDataSet(master_.get());
    }

    // Links the detail to the master by PERSON = ID and opens it.
    void Link() {
        detail_->SetIndexName("BYPERSON");
        detail_->SetMasterSource(&source_);
        detail_->SetMasterFields("ID");
        detail_->Open();
    }

    std::vector<std::string> Items() {
        std::vector<std::string> items;
        for (detail_->First(); !detail_->Eof(); detail_->Next())
            items.push_back(detail_->FieldByName("ITEM").AsString());
        return items;
    }

    std::unique_ptr<TestTable> master_;
    db::TDataSource source_;
    std::unique_ptr<TestTable> detail_;
};

TEST_F(TARNISMasterDataLinkTest, TheDetailShowsTheMastersRowsAsItScrolls) {
    Link();
    EXPECT_EQ(detail_->DataSource(), &source_);
    master_->First();
    EXPECT_EQ(Items(), (std::vector<std::string>{"apple", "cheese", "figs"}));
    master_->Next();
    EXPECT_EQ(Items(), (std::vector<std::string>{"bread", "eggs"}));
    EXPECT_EQ(detail_->RecordCount(), 2);
    master_->Last();
    EXPECT_EQ(Items(), std::vector<std::string>{"dates"});
    // A detail opened while the master stands on a record starts with its rows.
    detail_->Close();
    detail_->Open();
    EXPECT_EQ(Items(), std::vector<std::string>{"dates"});
}

TEST_F(TARNISMasterDataLinkTest, OnlyAChangeOfALinkedFieldMovesTheDetail) {
    Link();
    master_->First();
    detail_->First();
    detail_->Next();
    ASSERT_EQ(detail_->FieldByName("ITEM").AsString(), "cheese");
    master_->Edit();
    master_->FieldByName("NAME").SetAsString("Anne");
    EXPECT_EQ(detail_->FieldByName("ITEM").AsString(), "cheese");
    master_->FieldByName("ID").SetAsInteger(3);
    EXPECT_EQ(detail_->FieldByName("ITEM").AsString(), "dates");
    master_->Cancel();
    EXPECT_EQ(Items(), (std::vector<std::string>{"apple", "cheese", "figs"}));
}

TEST_F(TARNISMasterDataLinkTest, ANewDetailRecordTakesTheMasterKey) {
    Link();
    master_->Last();
    detail_->Insert();
    EXPECT_EQ(detail_->FieldByName("PERSON").AsInteger(), 3);
    detail_->FieldByName("ORDERID").SetAsInteger(7);
    detail_->FieldByName("ITEM").SetAsString("grapes");
    detail_->Post();
    EXPECT_EQ(Items(), (std::vector<std::string>{"dates", "grapes"}));
}

TEST_F(TARNISMasterDataLinkTest, AClosedMasterShowsAllRows) {
    Link();
    master_->First();
    ASSERT_EQ(detail_->RecordCount(), 3);
    master_->Close();
    EXPECT_EQ(Items(), (std::vector<std::string>{"apple", "cheese", "figs", "bread", "eggs", "dates"}));
    master_->Open();
    EXPECT_EQ(Items(), (std::vector<std::string>{"apple", "cheese", "figs"}));
    // Without field names the link holds nothing and the detail shows all.
    detail_->SetMasterFields("");
    EXPECT_EQ(detail_->RecordCount(), 6);
}

TEST_F(TARNISMasterDataLinkTest, ACircularMasterSourceIsRefused) {
    Link();
    db::TDataSource detailSource;
    detailSource.SetDataSet(detail_.get());
    EXPECT_EQ(MessageOf([&] { master_->SetMasterSource(&detailSource); }), db::kCircularDataLink);
    EXPECT_EQ(master_->MasterSource(), nullptr);
    EXPECT_EQ(MessageOf([&] { detail_->SetMasterSource(&detailSource); }), db::kCircularDataLink);
    EXPECT_EQ(detail_->MasterSource(), &source_);
}

TEST_F(TARNISMasterDataLinkTest, ALocateOnADetailScansWithoutAClone) {
    Link();
    master_->First();
    ASSERT_TRUE(detail_->Locate("ORDERID", rtl::Variant(6), 0));
    EXPECT_EQ(detail_->FieldByName("ITEM").AsString(), "figs");
    EXPECT_EQ(detail_->LookupCursor(), nullptr);
    EXPECT_FALSE(detail_->Locate("ORDERID", rtl::Variant(2), 0));
}

}  // namespace
