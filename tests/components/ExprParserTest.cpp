#include "components/ExprParser.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "components/ComponentTexts.h"
#include "db/IntegerField.h"
#include "engine/base/FileBytes.h"
#include "engine/expr/ExprNode.h"
#include "engine/table/DataFile.h"
#include "engine/table/Record.h"
#include "rtl/Exceptions.h"
#include "rtl/Format.h"
#include "tests/components/support/BlobShape.h"
#include "tests/components/support/FilterDataSet.h"
#include "tests/components/support/SessionFixture.h"
#include "tests/db/support/MessageOf.h"
#include "tests/engine/support/RecordImages.h"

namespace {

using components::TExprParser;
using componenttest::Blob;
using componenttest::EngineReads;
using componenttest::FilterDataSet;
using componenttest::Shape;
using db_test::MessageOf;

Blob BlobOf(db::TDataSet& dataset, const std::string& text, db::TFilterOptions options = 0) {
    TExprParser parser(dataset, text, options);
    return Blob(parser.Blob().begin(), parser.Blob().end());
}

std::string ShapeOf(db::TDataSet& dataset, const std::string& text, db::TFilterOptions options = 0) {
    return Shape(BlobOf(dataset, text, options));
}

std::string Repeat(const std::string& part, int times) {
    std::string text;
    for (int i = 0; i < times; ++i) text += part;
    return text;
}

TEST(ExprParser, TheResultsFilterWritesTheGoldenBlob) {
    FilterDataSet dataset;
    TExprParser parser(dataset, "TESTTYPE='alpha'", 0);
    const Blob golden = {
        0x00, 0x00, 0x3F, 0x00, 0xFF, 0xFF, 0x0A, 0x00, 0x30, 0x00,                          // header
        0x02, 0x00, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00, 0x0C, 0x00, 0x18, 0x00,              // 0: =
        0x04, 0x00, 0x00, 0x00, 0x0D, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00,              // 12: field 1
        0x05, 0x00, 0x00, 0x00, 0x0E, 0x00, 0x00, 0x00, 0x01, 0x00, 0x06, 0x00, 0x09, 0x00,  // 24: 'alpha'
        'T',  'E',  'S',  'T',  'T',  'Y',  'P',  'E',  0x00, 'a',  'l',  'p',  'h',  'a',  0x00};
    EXPECT_EQ(Blob(parser.Blob().begin(), parser.Blob().end()), golden);
    EXPECT_EQ(parser.BlobSize(), 63u);
    EXPECT_EQ(BlobOf(dataset, "'alpha' = TESTTYPE"), golden);
}

struct ShapeCase {
    std::string text;
    db::TFilterOptions options;
    std::string shape;
};

TEST(ExprParser, ConditionsTakeTheirShapeInTheBlob) {
    FilterDataSet dataset;
    const std::vector<ShapeCase> cases = {
        {"5 < NUM", 0, "(NUM > i32:5)"},
        {"5 >= NUM", 0, "(NUM <= i32:5)"},
        {"X = NULL", 0, "IsNull(X)"},
        {"X <> NULL", 0, "NotNull(X)"},
        {"NULL = X", 0, "IsNull(X)"},
        {"NAME = 'Sm*'", 0, "(NAME = 'Sm' ci0 len2)"},
        {"NAME <> 'Sm*'", 0, "(NAME <> 'Sm' ci0 len2)"},
        {"NAME = 'Sm*'", db::foNoPartialCompare, "(NAME = 'Sm*')"},
        {"NAME > 'Sm*'", 0, "(NAME > 'Sm*')"},
        {"NAME = '*'", 0, "(NAME = '*')"},
        {"NAME = 'smith'", db::foCaseInsensitive, "(NAME = 'smith' ci1 len0)"},
        {"NAME = 'Sm*'", db::foCaseInsensitive, "(NAME = 'Sm' ci1 len2)"},
        {"NAME = ''", db::foCaseInsensitive, "(NAME = '')"},
        {"ACTIVE", 0, "(ACTIVE = bool:65535)"},
        {"NOT ACTIVE", 0, "NOT (ACTIVE = bool:65535)"},
        {"ACTIVE = False", 0, "(ACTIVE = bool:0)"},
        {"true = ACTIVE", 0, "(ACTIVE = bool:1)"},
        {"A = B", 0, "(A = B)"},
        {"A < B", 0, "(A < B)"},
        {"NAME = TESTTYPE", 0, "(NAME = TESTTYPE)"},
        {"NUM = -7", 0, "(NUM = i32:-7)"},
        {"F = 1.5E3", 0, "(F = f64:1500)"},
        {"(((A = 1)))", 0, "(A = i32:1)"},
    };
    for (const ShapeCase& c : cases) {
        SCOPED_TRACE(c.text);
        const Blob blob = BlobOf(dataset, c.text, c.options);
        EXPECT_EQ(Shape(blob), c.shape);
        EXPECT_TRUE(EngineReads(blob));
        EXPECT_EQ(componenttest::HeaderOf(blob).TotalSize, blob.size());
    }
}

TEST(ExprParser, AnEmptyStringConstantHasSizeOne) {
    FilterDataSet dataset;
    const Blob blob = BlobOf(dataset, "NAME = ''");
    const engine::TFilterBlobNode compare = componenttest::NodeAt(blob, 0);
    const engine::TFilterBlobNode constant = componenttest::NodeAt(blob, compare.Operands[1]);
    EXPECT_EQ(compare.NodeClass, engine::ncBinary);
    EXPECT_EQ(constant.Operands[0], 1);
    EXPECT_EQ(constant.Operands[1], 1);
}

TEST(ExprParser, WordsBindAsTheGrammarSays) {
    FilterDataSet dataset;
    const std::vector<ShapeCase> cases = {
        {"A = 1 OR B = 2 AND NUM = 3", 0, "((A = i32:1) OR ((B = i32:2) AND (NUM = i32:3)))"},
        {"A = 1 OR B = 2 OR NUM = 3", 0, "(((A = i32:1) OR (B = i32:2)) OR (NUM = i32:3))"},
        {"A = 1 AND B = 2 AND NUM = 3", 0, "(((A = i32:1) AND (B = i32:2)) AND (NUM = i32:3))"},
        {"(A = 1 OR B = 2) AND NUM = 3", 0, "(((A = i32:1) OR (B = i32:2)) AND (NUM = i32:3))"},
        {"NOT A = 1", 0, "NOT (A = i32:1)"},
        {"not a = 1 or b = 2", 0, "(NOT (A = i32:1) OR (B = i32:2))"},
        {"NAME = 'it''s'", 0, "(NAME = 'it's')"},
        {"[OR] = 1", 0, "(OR = i32:1)"},
        {"[or] = 1 Or A = 2", 0, "((OR = i32:1) OR (A = i32:2))"},
        {"\tA\r\n=\n1 ", 0, "(A = i32:1)"},
    };
    for (const ShapeCase& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(ShapeOf(dataset, c.text, c.options), c.shape);
    }
}

struct ErrorCase {
    std::string text;
    std::string message;
};

TEST(ExprParser, BadTextRaisesItsMessage) {
    FilterDataSet dataset;
    const auto fmt = [](std::string_view pattern, std::string_view arg) {
        return rtl::Format(pattern, {arg});
    };
    const std::vector<ErrorCase> cases = {
        {"(A = 1", "')' expected but nothing found"},
        {"(A = 1 B", "')' expected but 'B' found"},
        {"", "Expression expected but nothing found"},
        {"A = )", "Expression expected but ')' found"},
        {"A = 'x' =", "Filter expression incorrectly terminated"},
        {"X > NULL", "NULL only allowed with '=' and '<>'"},
        {"X <= NULL", "NULL only allowed with '=' and '<>'"},
        {"'abc'", "Incorrectly formed filter expression"},
        {"NOT 5", "Incorrectly formed filter expression"},
        {"A = 1 B = 2", "Filter expression incorrectly terminated"},
        {"A = B = 1", "Filter expression incorrectly terminated"},
        {"[A", "Unterminated field name"},
        {"NAME = 'abc", "Unterminated string constant"},
        {"NAME = 'abc''", "Unterminated string constant"},
        {"#", "Invalid filter expression character: '#'"},
        {"A = 1 & B = 2", "Invalid filter expression character: '&'"},
        {"A = \xFF", "Invalid filter expression character: '\xFF'"},
        {"A = \x80", "Invalid filter expression character: '\x80'"},
        // Characters 129 to 254 start a name but do not go on with one.
        {"\xC4X = 1", "Field '\xC4X' not found"},
        {"NUM\xC4 = 1", "Filter expression incorrectly terminated"},
        {"(A = 1 'it''s'", "')' expected but ''it''s'' found"},
        {std::string("A = 1\0 OR B = 2", 15), fmt(components::kInvalidFilterCharacter, std::string(1, '\0'))},
        {std::string("NAME = 'a\0b'", 12), fmt(components::kInvalidFilterCharacter, std::string(1, '\0'))},
        {"SI = 40000", "Constant out of range"},
        {"SI = -32769", "Constant out of range"},
        {"W = -1", "Constant out of range"},
        {"W = 65536", "Constant out of range"},
        {"NAME", "Field 'NAME' is not of type Boolean"},
        {"NUM AND ACTIVE", "Field 'NUM' is not of type Boolean"},
        {"MEMO = 'x'", "Field 'MEMO' cannot be used in a filter expression"},
        {"NOSUCH = 1", "Field 'NOSUCH' not found"},
        {"A = (B = 1)", "Incorrectly formed filter expression"},
        {"(B = 1) = A", "Incorrectly formed filter expression"},
        {"NAME = (B = 1)", "Incorrectly formed filter expression"},
    };
    for (const ErrorCase& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(MessageOf([&] { TExprParser parser(dataset, c.text, 0); }), c.message);
    }
}

TEST(ExprParser, ACalculatedFieldCannotBeFiltered) {
    db_test::TMemDataSet table;
    table.SetColumns({{"ID", db::ftInteger}});
    const auto add = [&](const char* name, db::TFieldKind kind) {
        auto* field = new db::TIntegerField(&table);
        field->SetFieldName(name);
        field->SetFieldKind(kind);
        field->SetDataSet(&table);
    };
    add("ID", db::fkData);
    add("TWICE", db::fkCalculated);
    table.Open();
    EXPECT_EQ(MessageOf([&] { TExprParser parser(table, "TWICE = 1", 0); }),
              "Field 'TWICE' cannot be used in a filter expression");
    EXPECT_EQ(MessageOf([&] { TExprParser parser(table, "ID = TWICE", 0); }),
              "Field 'TWICE' cannot be used in a filter expression");
    EXPECT_EQ(ShapeOf(table, "ID = 1"), "(ID = i32:1)");
}

TEST(ExprParser, AConstantThatDoesNotConvertRaisesTheConversionError) {
    FilterDataSet dataset;
    EXPECT_THROW(TExprParser(dataset, "NUM = 'abc'", 0), rtl::EConvertError);
    EXPECT_THROW(TExprParser(dataset, "F = 1..2", 0), rtl::EConvertError);
    EXPECT_THROW(TExprParser(dataset, "D = 'not a date'", 0), rtl::EConvertError);
}

TEST(ExprParser, AQuotedTextKeeps256CharactersAndTheBlob254) {
    FilterDataSet dataset;
    const std::string text(300, 'x');
    // The integer conversion's message shows the text as the tokenizer kept it.
    const std::string message = MessageOf([&] { TExprParser parser(dataset, "NUM = '" + text + "'", 0); });
    EXPECT_NE(message.find(std::string(256, 'x')), std::string::npos);
    EXPECT_EQ(message.find(std::string(257, 'x')), std::string::npos);

    const Blob blob = BlobOf(dataset, "NAME = '" + text + "'");
    const engine::TFilterBlobNode constant =
        componenttest::NodeAt(blob, componenttest::NodeAt(blob, 0).Operands[1]);
    EXPECT_EQ(constant.Operands[1], 255);
    EXPECT_EQ(Shape(blob), "(NAME = '" + std::string(254, 'x') + "')");
    EXPECT_TRUE(EngineReads(blob));
    // A partial compare counts what was written.
    const Blob partial = BlobOf(dataset, "NAME = '" + std::string(254, 'y') + "z*'");
    EXPECT_EQ(Shape(partial), "(NAME = '" + std::string(254, 'y') + "' ci0 len254)");
    EXPECT_TRUE(EngineReads(partial));
}

TEST(ExprParser, TheFieldNodeCarriesTheFieldNumberAndTranslateReachesNamesAndTexts) {
    FilterDataSet dataset;
    dataset.translate = [](std::string_view s) { return "<" + std::string(s) + ">"; };
    const Blob blob = BlobOf(dataset, "NAME = 'Sm*' OR NUM = 2");
    EXPECT_EQ(Shape(blob), "((<NAME> = '<Sm>' ci0 len2) OR (<NUM> = i32:2))");
    const engine::TFilterBlobNode compare =
        componenttest::NodeAt(blob, componenttest::NodeAt(blob, 0).Operands[0]);
    EXPECT_EQ(componenttest::NodeAt(blob, compare.Operands[2]).Operands[0],
              dataset.FieldByName("NAME").FieldNo());
    EXPECT_EQ(dataset.FieldByName("NAME").FieldNo(), 2);
}

// ---- Limits ----

TEST(ExprParser, ATreeAsDeepAsTheEngineTakesIsWrittenAndOneLevelMoreIsRefused) {
    FilterDataSet dataset;
    const int comparisons =
        engine::MaxExprDepth - 1;  // the ANDs and, under the last, a comparison's two levels
    const std::string chain = "A = 1" + Repeat(" AND A = 1", comparisons - 1);
    EXPECT_TRUE(EngineReads(BlobOf(dataset, chain)));
    EXPECT_EQ(MessageOf([&] { TExprParser parser(dataset, chain + " AND A = 1", 0); }),
              components::kFilterTooComplex);

    const int nots = engine::MaxExprDepth - 2;  // the NOTs over ACTIVE = true
    EXPECT_TRUE(EngineReads(BlobOf(dataset, Repeat("NOT (", nots) + "ACTIVE" + Repeat(")", nots))));
    EXPECT_EQ(MessageOf([&] {
                  TExprParser parser(dataset, Repeat("NOT (", nots + 1) + "ACTIVE" + Repeat(")", nots + 1),
                                     0);
              }),
              components::kFilterTooComplex);
}

TEST(ExprParser, DeepLongAndLargeTextsRaiseTheirLimits) {
    FilterDataSet dataset;
    EXPECT_EQ(
        MessageOf([&] { TExprParser parser(dataset, Repeat("(", 10000) + "A = 1" + Repeat(")", 10000), 0); }),
        components::kFilterTooComplex);
    EXPECT_EQ(MessageOf([&] { TExprParser parser(dataset, Repeat("A = 1 AND ", 5000) + "A = 1", 0); }),
              components::kFilterTooComplex);
    EXPECT_EQ(MessageOf([&] { TExprParser parser(dataset, "A = 1" + std::string(70000 - 5, ' '), 0); }),
              components::kFilterTooLarge);
    EXPECT_NO_THROW(TExprParser(dataset, "A = 1" + std::string(65535 - 5, ' '), 0));

    // Balanced, so never too deep: 2^n comparisons of 44 bytes under 2^n - 1 ORs of 12.
    const auto balanced = [](int levels) {
        std::string text = "A=1";
        for (int i = 0; i < levels; ++i) text = "(" + text + " OR " + text + ")";
        return text;
    };
    const Blob fits = BlobOf(dataset, balanced(10));
    EXPECT_EQ(fits.size(), 10 + 1024 * 44 + 1023 * 12);
    EXPECT_TRUE(EngineReads(fits));
    EXPECT_LT(balanced(11).size(), components::MaxFilterTextLength);
    EXPECT_EQ(MessageOf([&] { TExprParser parser(dataset, balanced(11), 0); }), components::kFilterTooLarge);
}

}  // namespace

// ---- Through an engine table ----

namespace {

class ExprParserTableTest : public componenttest::SessionTest {};

TEST_F(ExprParserTableTest, TheEngineFiltersATableByTheBlobsTheTextGives) {
    components::SessionLockGuard lock(runtime_.DefaultSession());
    using enginetest::FieldDef;
    std::vector<engine::TFieldDesc> fields = {
        FieldDef(1, "ID", engine::FieldTypeInteger), FieldDef(2, "TESTTYPE", engine::FieldTypeString, 20),
        FieldDef(3, "NAME", engine::FieldTypeString, 20), FieldDef(4, "NUM", engine::FieldTypeInteger),
        FieldDef(5, "ACTIVE", engine::FieldTypeBoolean)};
    std::vector<engine::TIndexDescriptor> indexes = {enginetest::IndexDef("", {1})};
    enginetest::CreateTable("results", fields, indexes);
    engine::TDataFile table;
    table.SetFileName("results");
    table.Open();
    using enginetest::I32;
    using enginetest::Str;
    const auto add = [&](std::int32_t id, const char* type, const char* name, std::int32_t num, bool active) {
        enginetest::FieldValues values = {
            {1, I32(id)}, {2, Str(type)}, {4, I32(num)}, {5, enginetest::U16(active)}};
        if (*name != '\0') values.push_back({3, Str(name)});
        enginetest::Insert(table, values);
    };
    add(1, "alpha", "Smith", 1, true);
    add(2, "alphanumeric", "Smythe", 7, false);
    add(3, "numeric", "smart", 9, true);
    add(4, "alpha", "", 12, false);

    FilterDataSet dataset;
    const std::vector<std::pair<std::string, std::vector<std::int32_t>>> cases = {
        {"TESTTYPE='alpha'", {1, 4}}, {"'alpha' = TESTTYPE", {1, 4}},
        {"5 < NUM", {2, 3, 4}},       {"NAME = 'Sm*'", {1, 2}},
        {"NAME = ''", {4}},           {"NAME = NULL", {4}},
        {"NAME <> NULL", {1, 2, 3}},  {"ACTIVE", {1, 3}},
        {"NOT ACTIVE", {2, 4}},       {"TESTTYPE = 'alpha' OR NUM = 9 AND ACTIVE", {1, 3, 4}},
    };
    for (const auto& [text, ids] : cases) {
        SCOPED_TRACE(text);
        TExprParser parser(dataset, text, 0);
        engine::TFilter* handle = nullptr;
        ASSERT_EQ(table.AddFilter(nullptr, parser.Blob(), handle, false, nullptr, false, nullptr), 0);
        ASSERT_EQ(table.ActivateFilter(handle), 0);
        std::vector<std::int32_t> seen;
        table.SetToBegin();
        while (table.GetNextRecord() == 0) {
            std::array<std::uint8_t, 4> id{};
            table.GetField(false, 1, table.CurrentRecord()->Image(), id);
            seen.push_back(static_cast<std::int32_t>(engine::LoadU32(id.data())));
        }
        EXPECT_EQ(seen, ids);
        ASSERT_EQ(table.DropFilter(handle), 0);
    }
    table.Close();
}

}  // namespace
