#include "db/FieldDefs.h"

#include <gtest/gtest.h>

#include "MemDataSet.h"
#include "db/Field.h"
#include "db/Messages.h"
#include "rtl/Exceptions.h"

namespace {

using namespace db;
using db_test::TMemDataSet;

TEST(FieldDefs, NamesAreUniqueWithoutRegardToCase) {
    TFieldDefs defs;
    defs.Add("Name", ftString, 20);
    EXPECT_EQ(defs.IndexOf("NAME"), 0);
    EXPECT_EQ(defs.Find("name").Size(), 20);
    EXPECT_EQ(defs[0].FieldNo(), 1);
    EXPECT_THROW(defs.Add("NAME", ftInteger), rtl::EDatabaseError);
    try {
        defs.Find("CITY");
        ADD_FAILURE();
    } catch (const rtl::EDatabaseError& e) {
        EXPECT_EQ(e.Message(), "Field 'CITY' not found");
    }
}

TEST(FieldDefs, KindsWithoutAFieldClassGetNoField) {
    for (TFieldType type :
         {ftUnknown, ftADT, ftArray, ftReference, ftDataSet, ftCursor, ftFixedChar, ftWideString, ftGuid,
          ftParadoxOle, ftDBaseOle, ftOraBlob, ftOraClob, ftVariant, ftInterface, ftIDispatch})
        EXPECT_EQ(DefaultFieldFactory(type), nullptr) << FieldTypeName(type);
    for (TFieldType type :
         {ftString, ftSmallint, ftInteger, ftWord,     ftBoolean,     ftFloat,    ftCurrency,
          ftBCD,    ftDate,     ftTime,    ftDateTime, ftBytes,       ftVarBytes, ftAutoInc,
          ftBlob,   ftMemo,     ftGraphic, ftFmtMemo,  ftTypedBinary, ftLargeint})
        EXPECT_NE(DefaultFieldFactory(type), nullptr) << FieldTypeName(type);

    TMemDataSet table;
    table.SetColumns({{"A", ftInteger}, {"NESTED", ftADT}, {"B", ftFmtMemo}});
    table.Open();
    EXPECT_EQ(table.FieldDefs().Count(), 3);
    ASSERT_EQ(table.FieldCount(), 2);
    EXPECT_EQ(table.Fields()[1].FieldNo(), 3);
    EXPECT_EQ(table.Fields()[1].DataType(), ftFmtMemo);
}

TEST(FieldDefs, UpdateReadsTheDefinitionsOfAClosedDataset) {
    TMemDataSet table;
    table.SetColumns({{"ID", ftInteger}, {"PRICE", ftBCD, 2}});
    EXPECT_FALSE(table.FieldDefs().Updated());
    table.FieldDefs().Update();
    EXPECT_TRUE(table.FieldDefs().Updated());
    EXPECT_FALSE(table.Active());
    ASSERT_EQ(table.FieldDefs().Count(), 2);
    EXPECT_EQ(table.FieldDefs()[1].Precision(), 20);
    EXPECT_EQ(table.FieldCount(), 0);
    EXPECT_EQ(table.GetFieldNames(), (std::vector<std::string>{"ID", "PRICE"}));
}

TEST(FieldDefs, FieldsMadeInCodeMustMatchTheirDefinitions) {
    TMemDataSet table;
    table.SetColumns({{"NAME", ftString, 10}});
    TFieldDefs defs;
    TField* field = defs.Add("NAME", ftString, 12).CreateField(&table, table);
    ASSERT_NE(field, nullptr);
    EXPECT_EQ(field->Size(), 12);
    try {
        table.Open();
        ADD_FAILURE();
    } catch (const rtl::EDatabaseError& e) {
        EXPECT_EQ(e.Message(), "Type mismatch for field 'NAME'");
    }
    EXPECT_FALSE(table.Active());
    field->SetSize(10);
    table.Open();
    EXPECT_EQ(&table.FieldByName("NAME"), field);
}

}  // namespace
