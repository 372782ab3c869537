#include "components/TARNISDataSet.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "components/ComponentTexts.h"
#include "components/TARNISDatabase.h"
#include "db/Field.h"
#include "db/IntegerField.h"
#include "db/Messages.h"
#include "db/StringField.h"
#include "engine/base/EngineError.h"
#include "rtl/Currency.h"
#include "rtl/Exceptions.h"
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

TEST_F(TARNISDataSetTest, FetchesReachTheEndWithoutRaisingWhateverTheCheck) {
    FillPeople();
    auto dataSet = NewDataSet();
    dataSet->Open();
    std::vector<std::byte> buffer(dataSet->BufferSize());
    for (const bool check : {true, false}) {
        SCOPED_TRACE(check);
        dataSet->Handle()->SetToBegin();
        for (int i = 0; i < 3; ++i) EXPECT_EQ(dataSet->GetRecord(buffer.data(), db::gmNext, check), db::grOK);
        EXPECT_EQ(dataSet->GetRecord(buffer.data(), db::gmNext, check), db::grEOF);
        EXPECT_EQ(dataSet->GetRecord(buffer.data(), db::gmPrior, check), db::grOK);
        std::int32_t recNo = 0;
        std::memcpy(&recNo, buffer.data() + dataSet->RecInfoOffset(), sizeof recNo);
        EXPECT_EQ(recNo, 3);
        dataSet->Handle()->SetToBegin();
        EXPECT_EQ(dataSet->GetRecord(buffer.data(), db::gmPrior, check), db::grBOF);
    }
}

TEST_F(TARNISDataSetTest, TheWalkFollowsTheIndexOfTheHandle) {
    FillPeople();
    auto dataSet = NewDataSet();
    dataSet->Open();
    AddPeople(*dataSet, {{4, "Abe"}});
    EXPECT_EQ(Names(*dataSet), (std::vector<std::string>{"Ann", "Bob", "Cid", "Abe"}));
    dataSet->Close();
    dataSet->IndexName = "BYNAME";
    dataSet->Open();
    EXPECT_EQ(Names(*dataSet), (std::vector<std::string>{"Abe", "Ann", "Bob", "Cid"}));
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

namespace {

using db::TFieldType;

// ---- Field definitions ----

struct FieldDefCase {
    engine::TFieldDesc desc;
    TFieldType type;
    int size;
    int precision;
};

TEST_F(TARNISDataSetTest, EveryEngineTypeHasItsFieldDefinition) {
    namespace e = engine;
    const std::vector<FieldDefCase> cases = {
        {FieldDef(1, "S", e::FieldTypeString, 10), db::ftString, 10, 0},
        {FieldDef(2, "D", e::FieldTypeDate), db::ftDate, 0, 0},
        {FieldDef(3, "MEMO", e::FieldTypeBlob, 0, 0, 22), db::ftMemo, 0, 0},
        {FieldDef(4, "BIN", e::FieldTypeBlob, 0, 0, 23), db::ftBlob, 0, 0},
        {FieldDef(5, "FMT", e::FieldTypeBlob, 0, 0, 24), db::ftFmtMemo, 0, 0},
        {FieldDef(6, "OLE", e::FieldTypeBlob, 0, 0, 25), db::ftBlob, 0, 0},
        {FieldDef(7, "PIC", e::FieldTypeBlob, 0, 0, 26), db::ftGraphic, 0, 0},
        {FieldDef(8, "OLE2", e::FieldTypeBlob, 0, 0, 27), db::ftBlob, 0, 0},
        {FieldDef(9, "TYPED", e::FieldTypeBlob, 0, 0, 28), db::ftTypedBinary, 0, 0},
        {FieldDef(10, "BOOL", e::FieldTypeBoolean), db::ftBoolean, 0, 0},
        {FieldDef(11, "SMALL", e::FieldTypeSmallInt), db::ftSmallint, 0, 0},
        {FieldDef(12, "INT", e::FieldTypeInteger), db::ftInteger, 0, 0},
        {enginetest::AutoIncDef(13, "AUTO"), db::ftAutoInc, 0, 0},
        {FieldDef(14, "FLOAT", e::FieldTypeFloat), db::ftFloat, 0, 0},
        {FieldDef(15, "MONEY", e::FieldTypeFloat, 0, 0, e::FieldSubTypeMoney), db::ftCurrency, 0, 0},
        {FieldDef(16, "AMOUNT", e::FieldTypeBcd, 0, 4), db::ftBCD, 4, 20},
        {FieldDef(17, "RAW", e::FieldTypeBytes, 6), db::ftBytes, 6, 0},
        {FieldDef(18, "T", e::FieldTypeTime), db::ftTime, 0, 0},
        {FieldDef(19, "DT", e::FieldTypeDateTime), db::ftDateTime, 0, 0},
        {FieldDef(20, "W", e::FieldTypeWord), db::ftWord, 0, 0},
        {FieldDef(21, "LW", e::FieldTypeLongWord), db::ftInteger, 0, 0},
        {FieldDef(22, "EXT", e::FieldTypeExtended), db::ftUnknown, 0, 0},
        {FieldDef(23, "VB", e::FieldTypeVarBytes, 12), db::ftVarBytes, 12, 0},
    };
    std::vector<engine::TFieldDesc> fields;
    for (const FieldDefCase& c : cases) fields.push_back(c.desc);
    std::vector<engine::TIndexDescriptor> indexes = {IndexDef("", {12})};
    {
        components::SessionLockGuard lock(DefaultSession());
        enginetest::CreateTable("types", fields, indexes);
    }
    auto dataSet = NewDataSet("types");
    dataSet->FieldDefs().Update();
    db::TFieldDefs& defs = dataSet->FieldDefs();
    EXPECT_EQ(defs.Count(), static_cast<int>(cases.size()) - 1);
    for (const FieldDefCase& c : cases) {
        SCOPED_TRACE(c.desc.Name);
        db::TFieldDef* def = defs.FindDef(c.desc.Name);
        if (c.type == db::ftUnknown) {
            EXPECT_EQ(def, nullptr);
            continue;
        }
        ASSERT_NE(def, nullptr);
        EXPECT_EQ(def->DataType(), c.type);
        EXPECT_EQ(def->Size(), c.size);
        EXPECT_EQ(def->Precision(), c.precision);
        EXPECT_EQ(def->FieldNo(), c.desc.FieldNumber);
    }
    // Reading the definitions left the database unreferenced.
    EXPECT_EQ(dataSet->Database(), nullptr);
}

TEST(FieldDefShapeTest, TypesBeyondTheEngineOwnMapOrAreSkipped) {
    const std::vector<std::pair<int, TFieldType>> cases = {
        {0, db::ftUnknown},   {16, db::ftUnknown}, {17, db::ftUnknown},  {18, db::ftLargeint},
        {19, db::ftLargeint}, {20, db::ftADT},     {21, db::ftArray},    {22, db::ftReference},
        {23, db::ftDataSet},  {24, db::ftUnknown}, {255, db::ftUnknown},
    };
    for (const auto& [code, type] : cases) {
        engine::TFieldDesc desc = FieldDef(1, "F", static_cast<std::uint8_t>(code), 7);
        EXPECT_EQ(components::FieldDefShapeOf(desc).type, type) << code;
        EXPECT_EQ(components::FieldDefShapeOf(desc).size, 0) << code;
    }
}

TEST_F(TARNISDataSetTest, DuplicateNamesGetANumberedSuffix) {
    TestDataSet dataSet;
    dataSet.AddFieldDesc(FieldDef(1, "Name", engine::FieldTypeInteger), false, 1);
    dataSet.AddFieldDesc(FieldDef(2, "NAME", engine::FieldTypeInteger), false, 2);
    dataSet.AddFieldDesc(FieldDef(3, "name", engine::FieldTypeInteger), true, 3);
    ASSERT_EQ(dataSet.FieldDefs().Count(), 3);
    EXPECT_EQ(dataSet.FieldDefs()[1].Name(), "NAME_1");
    EXPECT_EQ(dataSet.FieldDefs()[2].Name(), "name_2");
    EXPECT_TRUE(dataSet.FieldDefs()[2].Required());
    EXPECT_EQ(dataSet.FieldDefs()[2].FieldNo(), 3);
}

// ---- Layout ----

TEST_F(TARNISDataSetTest, TheBufferHoldsImageCalculatedAreaRecordInformationAndTheEngineBookmark) {
    FillPeople();
    TestDataSet dataSet;
    dataSet.TableName = "people";
    for (const char* name : {"ID", "NAME"}) {
        db::TField* field = name[0] == 'I' ? static_cast<db::TField*>(new db::TIntegerField(&dataSet))
                                           : new db::TStringField(&dataSet);
        if (name[0] == 'N') field->SetSize(20);
        field->SetFieldName(name);
        field->SetDataSet(&dataSet);
    }
    auto* twice = new db::TIntegerField(&dataSet);
    twice->SetFieldName("TWICE");
    twice->SetFieldKind(db::fkCalculated);
    twice->SetDataSet(&dataSet);
    dataSet.OnCalcFields = [](db::TDataSet& d) {
        d.FieldByName("TWICE").SetAsInteger(d.FieldByName("ID").AsInteger() * 2);
    };
    dataSet.Open();
    engine::TDataFile& handle = *dataSet.Handle();
    EXPECT_EQ(dataSet.RecordSize(), handle.GetRecordBufferSize());
    EXPECT_EQ(dataSet.CalcFieldsSize(), twice->DataSize() + 1);
    EXPECT_EQ(dataSet.RecInfoOffset(), dataSet.RecordSize() + dataSet.CalcFieldsSize());
    EXPECT_EQ(dataSet.BookmarkOffset(), dataSet.RecInfoOffset() + 8);
    EXPECT_EQ(dataSet.BufferSize(), dataSet.BookmarkOffset() + handle.GetKeySize());
    dataSet.SetRecNo(2);
    EXPECT_EQ(twice->AsInteger(), 4);
    std::vector<std::uint8_t> engineBookmark(handle.GetKeySize());
    dataSet.UpdateCursorPos();
    handle.GetBookmark(engineBookmark);
    const db::TBookmark bookmark = dataSet.Bookmark();
    ASSERT_EQ(bookmark.size(), engineBookmark.size());
    EXPECT_EQ(std::memcmp(bookmark.data(), engineBookmark.data(), bookmark.size()), 0);
}

TEST_F(TARNISDataSetTest, AWideRecordWithALongKeyAndACalculatedFieldOpensEditsAndPosts) {
    // 258 strings of 250 (252 bytes each with the null flag) make an image of 65,025 bytes; the first four
    // make an index key of over 1,000 bytes.
    std::vector<engine::TFieldDesc> fields;
    for (std::uint16_t n = 1; n <= 258; ++n)
        fields.push_back(FieldDef(n, "F" + std::to_string(n), engine::FieldTypeString, 250));
    std::vector<engine::TIndexDescriptor> indexes = {IndexDef("", {1, 2, 3, 4})};
    {
        components::SessionLockGuard lock(DefaultSession());
        enginetest::CreateTable("wide", fields, indexes);
    }
    TestDataSet dataSet;
    dataSet.TableName = "wide";
    for (int n = 1; n <= 4; ++n) {
        auto* field = new db::TStringField(&dataSet);
        field->SetSize(250);
        field->SetFieldName("F" + std::to_string(n));
        field->SetDataSet(&dataSet);
    }
    auto* label = new db::TStringField(&dataSet);
    label->SetSize(200);
    label->SetFieldName("LABEL");
    label->SetFieldKind(db::fkCalculated);
    label->SetDataSet(&dataSet);
    dataSet.OnCalcFields = [](db::TDataSet& d) {
        d.FieldByName("LABEL").SetAsString(d.FieldByName("F1").AsString().substr(0, 3) + "!");
    };
    dataSet.Open();
    EXPECT_GT(dataSet.RecordSize(), 65000u);
    EXPECT_GT(dataSet.BookmarkSize(), 1000u);
    const std::string pad(240, 'x');
    for (const char* key : {"b", "a", "c"}) {
        dataSet.Append();
        for (int n = 1; n <= 4; ++n) dataSet.FieldByName("F" + std::to_string(n)).SetAsString(key + pad);
        dataSet.Post();
    }
    dataSet.First();
    EXPECT_EQ(dataSet.FieldByName("LABEL").AsString(), "axx!");
    dataSet.Next();
    dataSet.Edit();
    dataSet.FieldByName("F4").SetAsString("changed");
    dataSet.Post();
    EXPECT_EQ(dataSet.FieldByName("F4").AsString(), "changed");
    dataSet.Last();
    EXPECT_EQ(dataSet.FieldByName("F1").AsString(), "c" + pad);
    EXPECT_EQ(dataSet.RecordCount(), 3);
}

// ---- Field data ----

TEST_F(TARNISDataSetTest, WritesOutsideTheWriteStatesAreRefused) {
    FillPeople();
    auto dataSet = NewDataSet();
    dataSet->Open();
    db::TField& name = dataSet->FieldByName("NAME");
    EXPECT_EQ(MessageOf([&] { name.SetAsString("x"); }), db::kNotEditing);
    dataSet->Edit();
    name.SetReadOnly(true);
    EXPECT_EQ(MessageOf([&] { name.SetAsString("x"); }), rtl::Format(db::kFieldReadOnly, {"NAME"}));
    name.SetReadOnly(false);
    EXPECT_EQ(MessageOf([&] {
                  dataSet->SetStateFieldValue(db::dsOldValue, &name, rtl::Variant(std::string("x")));
              }),
              rtl::Format(db::kFieldReadOnly, {"NAME"}));
    dataSet->Cancel();
}

TEST_F(TARNISDataSetTest, ADataFieldWrittenWhileCalculatingIsRefused) {
    FillPeople();
    TestDataSet dataSet;
    dataSet.TableName = "people";
    auto* id = new db::TIntegerField(&dataSet);
    id->SetFieldName("ID");
    id->SetDataSet(&dataSet);
    auto* calc = new db::TIntegerField(&dataSet);
    calc->SetFieldName("CALC");
    calc->SetFieldKind(db::fkCalculated);
    calc->SetDataSet(&dataSet);
    dataSet.OnCalcFields = [](db::TDataSet& d) { d.FieldByName("ID").SetAsInteger(5); };
    EXPECT_EQ(MessageOf([&] { dataSet.Open(); }), db::kNotEditing);
    EXPECT_FALSE(dataSet.Active());
}

TEST_F(TARNISDataSetTest, OldValueReadsTheStoredRecordDuringAnEdit) {
    FillPeople();
    auto dataSet = NewDataSet();
    dataSet->Open();
    dataSet->SetRecNo(2);
    dataSet->Edit();
    dataSet->FieldByName("NAME").SetAsString("Bart");
    EXPECT_EQ(dataSet->FieldByName("NAME").OldValue().StringValue(), "Bob");
    EXPECT_EQ(dataSet->FieldByName("NAME").AsString(), "Bart");
    dataSet->Cancel();
    EXPECT_EQ(dataSet->FieldByName("NAME").AsString(), "Bob");
}

TEST_F(TARNISDataSetTest, BcdValuesGoToTheEngineAsScaledIntegers) {
    auto dataSet = NewDataSet();
    dataSet->Open();
    dataSet->Append();
    dataSet->FieldByName("ID").SetAsInteger(1);
    dataSet->FieldByName("AMOUNT").SetAsCurrency(rtl::Currency::FromRaw(123400));
    std::int64_t stored = 0;
    ASSERT_TRUE(dataSet->FieldByName("AMOUNT").GetData(&stored, true));
    EXPECT_EQ(stored, 12342);
    dataSet->Post();
    EXPECT_EQ(dataSet->FieldByName("AMOUNT").AsCurrency().Raw(), 123400);
}

TEST_F(TARNISDataSetTest, ABcdValueOfMoreDecimalsThanCurrencyHasIsRounded) {
    std::vector<engine::TFieldDesc> fields = {FieldDef(1, "ID", engine::FieldTypeInteger),
                                              FieldDef(2, "FINE", engine::FieldTypeBcd, 0, 6)};
    std::vector<engine::TIndexDescriptor> indexes = {IndexDef("", {1})};
    {
        components::SessionLockGuard lock(DefaultSession());
        enginetest::CreateTable("fine", fields, indexes);
    }
    auto dataSet = NewDataSet("fine");
    dataSet->Open();
    dataSet->Append();
    const std::int64_t stored = 123456786;  // 12.345678 at scale 6
    dataSet->FieldByName("FINE").SetData(&stored, true);
    dataSet->Post();
    EXPECT_EQ(dataSet->FieldByName("FINE").AsCurrency().Raw(), 123457);
}

TEST_F(TARNISDataSetTest, BcdValuesBeyondEitherFormAreRefusedRatherThanWrapped) {
    std::vector<engine::TFieldDesc> fields = {FieldDef(1, "ID", engine::FieldTypeInteger),
                                              FieldDef(2, "TINY", engine::FieldTypeBcd, 0, 9),
                                              FieldDef(3, "WHOLE", engine::FieldTypeBcd, 0, 0)};
    std::vector<engine::TIndexDescriptor> indexes = {IndexDef("", {1})};
    {
        components::SessionLockGuard lock(DefaultSession());
        enginetest::CreateTable("limits", fields, indexes);
    }
    auto dataSet = NewDataSet("limits");
    dataSet->Open();
    dataSet->Append();
    db::TField& tiny = dataSet->FieldByName("TINY");
    // A billion at 9 decimals needs more than 64 bits in the engine's form.
    EXPECT_EQ(MessageOf([&] { tiny.SetAsCurrency(rtl::Currency::FromInt64(1000000000)); }),
              rtl::Format(db::kFieldRangeError, {"1000000000", "TINY"}));
    EXPECT_TRUE(tiny.IsNull());
    // 10^17 fits the engine's form at scale 0 but not a currency value.
    db::TField& whole = dataSet->FieldByName("WHOLE");
    const std::int64_t stored = 1000000000000000000;
    whole.SetData(&stored, true);
    EXPECT_THROW(whole.AsCurrency(), rtl::EOverflow);
    dataSet->Cancel();
}

TEST_F(TARNISDataSetTest, AReadOnlyOpenCannotModify) {
    FillPeople();
    auto dataSet = NewDataSet();
    dataSet->ReadOnly = true;
    dataSet->Open();
    EXPECT_FALSE(dataSet->CanModify());
    EXPECT_EQ(MessageOf([&] { dataSet->Edit(); }), db::kDataSetReadOnly);
    EXPECT_EQ(dataSet->State(), db::dsBrowse);
}

TEST_F(TARNISDataSetTest, ARequiredFieldLeftBlankIsReportedByTheFramework) {
    std::vector<engine::TFieldDesc> fields = {FieldDef(1, "ID", engine::FieldTypeInteger),
                                              FieldDef(2, "NAME", engine::FieldTypeString, 10)};
    fields[1].Required = 1;
    std::vector<engine::TIndexDescriptor> indexes = {IndexDef("", {1})};
    {
        components::SessionLockGuard lock(DefaultSession());
        enginetest::CreateTable("needs", fields, indexes);
    }
    auto dataSet = NewDataSet("needs");
    dataSet->Open();
    dataSet->Append();
    dataSet->FieldByName("ID").SetAsInteger(1);
    EXPECT_EQ(MessageOf([&] { dataSet->Post(); }), rtl::Format(db::kFieldRequired, {"NAME"}));
    EXPECT_EQ(dataSet->State(), db::dsInsert);
    dataSet->Cancel();
}

// ---- Bookmarks ----

TEST_F(TARNISDataSetTest, AMissingBookmarkOrdersAfterAnyOther) {
    FillPeople();
    auto dataSet = NewDataSet();
    dataSet->Open();
    const db::TBookmark first = dataSet->Bookmark();
    EXPECT_EQ(dataSet->CompareBookmarks(nullptr, nullptr), 0);
    EXPECT_EQ(dataSet->CompareBookmarks(nullptr, first.data()), 1);
    EXPECT_EQ(dataSet->CompareBookmarks(first.data(), nullptr), -1);
}

TEST_F(TARNISDataSetTest, BookmarksCompareInIndexAndInNaturalOrder) {
    FillPeople();
    for (const bool natural : {false, true}) {
        SCOPED_TRACE(natural);
        auto dataSet = NewDataSet();
        dataSet->IndexName = "BYNAME";
        dataSet->NaturalOrder = natural;
        dataSet->Open();
        dataSet->SetRecNo(1);
        const db::TBookmark first = dataSet->Bookmark();
        dataSet->SetRecNo(3);
        const db::TBookmark third = dataSet->Bookmark();
        EXPECT_EQ(dataSet->CompareBookmarks(first, third), -1);
        EXPECT_EQ(dataSet->CompareBookmarks(third, first), 1);
        EXPECT_EQ(dataSet->CompareBookmarks(third, third), 0);
        dataSet->GotoBookmark(first);
        EXPECT_EQ(dataSet->FieldByName("NAME").AsString(), "Ann");
    }
}

TEST_F(TARNISDataSetTest, ABookmarkOfADeletedRecordIsNoLongerValid) {
    FillPeople();
    for (const bool natural : {false, true}) {
        SCOPED_TRACE(natural);
        auto dataSet = NewDataSet();
        dataSet->NaturalOrder = natural;
        dataSet->Open();
        dataSet->Last();
        const db::TBookmark kept = dataSet->Bookmark();
        dataSet->First();
        const db::TBookmark gone = dataSet->Bookmark();
        EXPECT_TRUE(dataSet->BookmarkValid(gone.data()));
        dataSet->Delete();
        EXPECT_FALSE(dataSet->BookmarkValid(gone.data()));
        EXPECT_TRUE(dataSet->BookmarkValid(kept.data()));
        dataSet->Append();
        dataSet->FieldByName("ID").SetAsInteger(natural ? 11 : 10);
        dataSet->Post();
    }
}

TEST_F(TARNISDataSetTest, RecNoInNaturalOrderCountsVisibleRecordsOnly) {
    auto dataSet = NewDataSet();
    dataSet->NaturalOrder = true;
    dataSet->Open();
    AddPeople(*dataSet, {{1, "a"}, {2, "b"}, {3, "c"}, {4, "d"}, {5, "e"}});
    for (const int id : {2, 4}) {
        dataSet->First();
        while (dataSet->FieldByName("ID").AsInteger() != id) dataSet->Next();
        dataSet->Delete();
    }
    dataSet->SetRecNo(3);
    EXPECT_EQ(dataSet->FieldByName("ID").AsInteger(), 5);
    EXPECT_EQ(dataSet->RecNo(), 3);
    std::vector<std::uint8_t> slot(4);
    dataSet->UpdateCursorPos();
    dataSet->Handle()->GetBookmark(slot);
    EXPECT_EQ(slot, (std::vector<std::uint8_t>{5, 0, 0, 0}));
}

}  // namespace
