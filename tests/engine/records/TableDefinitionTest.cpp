#include "engine/records/TableDefinition.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "engine/base/EngineError.h"
#include "engine/base/EngineErrorCodes.h"
#include "engine/values/FieldTypes.h"
#include "tests/engine/support/TableFixture.h"

namespace {

namespace fs = std::filesystem;
using engine::TFieldDesc;
using engine::TIndexDescriptor;
using namespace enginetest;

// A definition to create: a few fields, a primary index on the first, and the options.
struct Definition {
    std::vector<TFieldDesc> fields = {FieldDef(1, "ID", engine::FieldTypeInteger),
                                      FieldDef(2, "NAME", engine::FieldTypeString, 20)};
    std::vector<TIndexDescriptor> indexes = {IndexDef("", {1})};
    TableOptions options;
};

std::vector<TFieldDesc> ManyFields(int count, std::uint8_t type, std::uint8_t size = 0) {
    std::vector<TFieldDesc> fields;
    for (int i = 1; i <= count; ++i) {
        fields.push_back(FieldDef(static_cast<std::uint16_t>(i), "F" + std::to_string(i), type, size));
    }
    return fields;
}

struct Refusal {
    const char* what;
    std::function<void(Definition&)> change;
    int code;
    const char* fieldText;
    const char* indexText;
};

using TableDefinitionTest = TableTest;

TEST_F(TableDefinitionTest, RefusedDefinitionsNameTheirFieldOrIndexAndLeaveNoFile) {
    const Refusal refusals[] = {
        {"names equal without regard to case",
         [](Definition& d) {
             d.fields[0].Name = "Name";
             d.fields[1].Name = " NAME ";
         },
         engine::ErrInvalidFieldName, "Name", ""},
        {"name not starting with a letter", [](Definition& d) { d.fields[1].Name = "2ND"; },
         engine::ErrInvalidFieldName, "2ND", ""},
        {"blank name", [](Definition& d) { d.fields[1].Name = "   "; }, engine::ErrInvalidFieldName, "", ""},
        {"equal numbers in a 300-field list",
         [](Definition& d) {
             d.fields = ManyFields(300, engine::FieldTypeInteger);
             d.fields[299].FieldNumber = 44;
         },
         engine::ErrInvalidFieldDefinition, "F44", ""},
        {"type 0", [](Definition& d) { d.fields[1].FieldType = 0; }, engine::ErrInvalidFieldDefinition,
         "NAME", ""},
        {"string of 251", [](Definition& d) { d.fields[1].Size = 251; }, engine::ErrInvalidFieldDefinition,
         "NAME", ""},
        {"bad default", [](Definition& d) { d.fields[0].DefaultValue = "abc"; },
         engine::ErrInvalidValidityCheck, "ID", ""},
        {"bad maximum", [](Definition& d) { d.fields[0].MaxValue = "1.5"; }, engine::ErrInvalidValidityCheck,
         "ID", ""},
        {"blank password",
         [](Definition& d) {
             d.options.isProtected = true;
             d.options.password = "   ";
         },
         engine::ErrInvalidPassword, "", ""},
        {"16-character password",
         [](Definition& d) {
             d.options.isProtected = true;
             d.options.password = "abcdefghijklmnop";
         },
         engine::ErrInvalidPassword, "", ""},
        {"unknown locale", [](Definition& d) { d.options.languageId = 9; }, engine::ErrLanguageDriver, "",
         ""},
        {"1025 fields", [](Definition& d) { d.fields = ManyFields(1025, engine::FieldTypeInteger); },
         engine::ErrFieldLimits, "", ""},
        {"33 secondary indexes",
         [](Definition& d) {
             for (int i = 0; i < 33; ++i) d.indexes.push_back(IndexDef("I" + std::to_string(i), {2}));
         },
         engine::ErrIndexLimits, "", ""},
        {"block size 63", [](Definition& d) { d.options.blockSize = 63; }, engine::ErrBlobFieldLimits, "",
         ""},
        {"33rd large object", [](Definition& d) { d.fields = ManyFields(33, engine::FieldTypeBlob); },
         engine::ErrBlobFieldLimits, "", ""},
        {"oversize record", [](Definition& d) { d.fields = ManyFields(270, engine::FieldTypeString, 250); },
         engine::ErrRecordSizeExceeded, "", ""},
        {"key of 1037 bytes",
         [](Definition& d) {
             d.fields = ManyFields(5, engine::FieldTypeString, 250);
             d.fields[4].Size = 27;
             d.indexes = {IndexDef("", {1, 2, 3, 4, 5})};
         },
         engine::ErrInvalidKeySize, "", "Primary"},
        {"primary index without fields", [](Definition& d) { d.indexes = {IndexDef("", {})}; },
         engine::ErrInvalidKeySize, "", "Primary"},
        {"no index descriptor at all", [](Definition& d) { d.indexes.clear(); }, engine::ErrInvalidKeySize,
         "", "Primary"},
        {"secondary name starting with a digit",
         [](Definition& d) { d.indexes.push_back(IndexDef("1abc", {2})); }, engine::ErrInvalidIndexName, "",
         "1abc"},
        {"blank secondary name", [](Definition& d) { d.indexes.push_back(IndexDef("  ", {2})); },
         engine::ErrInvalidIndexName, "", ""},
        {"secondary names equal without regard to case",
         [](Definition& d) {
             d.indexes.push_back(IndexDef("Idx", {2}));
             d.indexes.push_back(IndexDef(" IDX", {1, 2}));
         },
         engine::ErrIndexExists, "", "Idx"},
        {"unknown field in the primary index",
         [](Definition& d) {
             d.indexes = {IndexDef("", {1, 7})};
         },
         engine::ErrInvalidIndexField, "7", "Primary"},
        {"unknown field in a secondary index",
         [](Definition& d) { d.indexes.push_back(IndexDef("ByX", {9})); }, engine::ErrInvalidIndexField, "9",
         "ByX"},
    };
    for (const Refusal& r : refusals) {
        Definition d;
        r.change(d);
        EXPECT_EQ(EngineCode([&] { CreateTable("t", d.fields, d.indexes, d.options); }), r.code) << r.what;
        const engine::ErrorContext& context = engine::CurrentErrorContext();
        EXPECT_EQ(context.FieldName, r.fieldText) << r.what;
        EXPECT_EQ(context.IndexName, r.indexText) << r.what;
        EXPECT_EQ(context.FileName, "t.DAT") << r.what;
        EXPECT_FALSE(fs::exists("t.DAT")) << r.what;
    }
}

TEST_F(TableDefinitionTest, DefinitionsAreNormalisedInTheCallersDescriptors) {
    Definition d;
    d.fields = {AutoIncDef(1, "  SEQ"), FieldDef(2, " City ", engine::FieldTypeString, 250),
                FieldDef(3, "AMOUNT", engine::FieldTypeInteger, 4, 3),
                FieldDef(4, "PRICE", engine::FieldTypeBcd, 9, 2),
                FieldDef(5, "A23456789012345678901234567890XYZ", engine::FieldTypeDate)};
    d.fields[2].DefaultValue = "12";
    d.fields[4].DefaultValue = "DATE";
    d.fields[4].MinValue = "01/01/1990";
    d.indexes = {IndexDef("primary name", {1}), IndexDef(" ByCity ", {2}, true)};
    CreateTable("t", d.fields, d.indexes);

    EXPECT_EQ(d.fields[0].Name, "SEQ");
    EXPECT_EQ(d.fields[0].Offset, 5);
    EXPECT_EQ(d.fields[1].Name, "City");
    EXPECT_EQ(d.fields[1].StoredSize, 251);
    EXPECT_EQ(d.fields[1].Offset, 9);
    EXPECT_EQ(d.fields[2].Size, 0);
    EXPECT_EQ(d.fields[2].Scale, 0);
    EXPECT_EQ(d.fields[2].Offset, 9 + 252);
    EXPECT_EQ(d.fields[3].Size, 0);
    EXPECT_EQ(d.fields[3].Scale, 2);
    EXPECT_EQ(d.fields[3].StoredScale, 2);
    EXPECT_EQ(d.fields[4].Name, "A23456789012345678901234567890");
    EXPECT_EQ(d.indexes[0].Name, "");
    EXPECT_EQ(d.indexes[1].Name, "ByCity");
    EXPECT_EQ(d.indexes[1].KeyLength, 252);

    engine::TDataFile table;
    table.SetFileName("t");
    table.Open();
    // The autoincrement field has no room of its own.
    EXPECT_EQ(table.RecordSize(), 9 + 252 + 5 + 9 + 5);
    EXPECT_EQ(table.PhysicalFields()[1].Name, "City");
}

TEST_F(TableDefinitionTest, KeyLengthsCountStoredSizesAndTheRecordIdSuffix) {
    std::vector<TFieldDesc> fields = {FieldDef(1, "ID", engine::FieldTypeInteger),
                                      FieldDef(2, "NAME", engine::FieldTypeString, 10)};
    std::vector<TIndexDescriptor> indexes = {IndexDef("", {1, 2}), IndexDef("ById", {1}),
                                             IndexDef("ByIdU", {1}, true), IndexDef("ByName", {2})};
    engine::ValidateDefinition("t.DAT", 0, 0, false, "", 512, fields, indexes, false);
    EXPECT_EQ(indexes[0].KeyLength, 5 + 12);
    EXPECT_EQ(indexes[0].FieldCount, 2);
    EXPECT_EQ(indexes[1].KeyLength, 9);
    EXPECT_EQ(indexes[2].KeyLength, 5);
    EXPECT_EQ(indexes[3].KeyLength, 1 + 11 + 4);

    // A key of exactly 1036 bytes is accepted; a non-unique secondary one then carries its suffix on top.
    fields = ManyFields(5, engine::FieldTypeString, 250);
    fields[4].Size = 26;
    indexes = {IndexDef("", {1, 2, 3, 4, 5}), IndexDef("All", {1, 2, 3, 4, 5})};
    engine::ValidateDefinition("t.DAT", 0, 0, false, "", 512, fields, indexes, false);
    EXPECT_EQ(indexes[0].KeyLength, 1036);
    EXPECT_EQ(indexes[1].KeyLength, 1040);
}

TEST_F(TableDefinitionTest, WithTheAllowFlagAPrimaryIndexMayHaveNoFields) {
    std::vector<TFieldDesc> fields = {FieldDef(1, "ID", engine::FieldTypeInteger),
                                      FieldDef(2, "NAME", engine::FieldTypeString, 10)};
    engine::ValidateFieldDefs("t.DAT", 0, 0, fields, true);
    std::vector<TIndexDescriptor> indexes = {IndexDef("", {0, 1})};
    indexes[0].RootPage = 4096;
    engine::ValidateIndexDefs("t.DAT", 0, 0, fields, indexes, true);
    EXPECT_EQ(indexes[0].KeyLength, 0);
    EXPECT_EQ(indexes[0].FieldCount, 0);
    EXPECT_EQ(indexes[0].RootPage, 0u);
    // An unknown field number ends the primary walk instead of failing.
    indexes = {IndexDef("", {2, 7, 1})};
    engine::ValidateIndexDefs("t.DAT", 0, 0, fields, indexes, true);
    EXPECT_EQ(indexes[0].KeyLength, 12);
    EXPECT_EQ(indexes[0].FieldCount, 1);

    Definition d;
    d.fields = fields;
    d.indexes = {IndexDef("", {})};
    d.options.allowNoPrimary = true;
    CreateTable("t", d.fields, d.indexes, d.options);
    EXPECT_TRUE(fs::exists("t.DAT"));
}

TEST_F(TableDefinitionTest, ValidationWithoutOffsetsLeavesThemAlone) {
    std::vector<TFieldDesc> fields = {FieldDef(1, "ID", engine::FieldTypeInteger)};
    fields[0].Offset = 77;
    engine::ValidateFieldDefs("t.DAT", 0, 0, fields, false);
    EXPECT_EQ(fields[0].Offset, 77);
    EXPECT_EQ(fields[0].StoredSize, 4);
    // A calculated field keeps the offset it brings when offsets are assigned, and takes no room.
    fields.push_back(FieldDef(2, "CALC", engine::FieldTypeInteger));
    fields[1].Calculated = 1;
    fields[1].Offset = 123;
    fields.push_back(FieldDef(3, "AFTER", engine::FieldTypeInteger));
    engine::ValidateFieldDefs("t.DAT", 0, 0, fields, true);
    EXPECT_EQ(fields[0].Offset, 9);
    EXPECT_EQ(fields[1].Offset, 123);
    EXPECT_EQ(fields[2].Offset, 14);
}

}  // namespace
