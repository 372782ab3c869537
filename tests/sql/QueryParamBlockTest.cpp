#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/records/FieldDesc.h"
#include "rtl/DateTime.h"
#include "rtl/Exceptions.h"
#include "tests/components/support/DataSetFixture.h"
#include "sql/SqlMessages.h"
#include "sql/TARNISQuery.h"

namespace {

using sql::TTARNISParams;

using componenttest::MessageOf;

std::string Names(const TTARNISParams& params) {
    std::string names;
    for (int i = 0; i < params.Count(); ++i) names += (i > 0 ? "|" : "") + params.Param(i).Name();
    return names;
}

TEST(CreateParams, RewritesEachNameToAMarkerAndListsTheNamesInTextOrder) {
    struct Case {
        std::string text, rewritten, names;
    };
    const std::vector<Case> cases = {
        {"SELECT * FROM t WHERE a = :a AND b = :b", "SELECT * FROM t WHERE a = ? AND b = ?", "a|b"},
        {"WHERE a = ':a' AND b = \":b\"", "WHERE a = ':a' AND b = \":b\"", ""},
        {"SELECT '12::30', x::y", "SELECT '12::30', x:y", ""},
        {"WHERE a = :a+1", "WHERE a = ?", "a+1"},
        {"(:a)", "(?)", "a"},
        {":a,:b;:c\r:d\n:e f", "?,?;?\r?\n? f", "a|b|c|d|e"},
        {":a\t:b", "?", "a\t:b"},
        {"WHERE x = :'my name' AND y = :\"other\"", "WHERE x = ? AND y = ?", "my name|other"},
        {"WHERE x = :last", "WHERE x = ?", "last"},
        {"WHERE x >= :v AND x <= :v", "WHERE x >= ? AND x <= ?", "v|v"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        std::string text = c.text;
        TTARNISParams params;
        sql::CreateParams(&params, text);
        EXPECT_EQ(text, c.rewritten);
        EXPECT_EQ(Names(params), c.names);
        for (int i = 0; i < params.Count(); ++i) {
            EXPECT_EQ(params.Param(i).DataType(), db::ftUnknown);
            EXPECT_EQ(params.Param(i).ParamType(), sql::ptUnknown);
        }
        std::string alone = c.text;
        sql::CreateParams(nullptr, alone);
        EXPECT_EQ(alone, c.rewritten);
    }
}

TEST(EngineParamType, MapsTheFrameworkTypesBack) {
    const std::vector<std::pair<db::TFieldType, std::uint8_t>> cases = {
        {db::ftString, 1},    {db::ftFixedChar, 1}, {db::ftGuid, 1},     {db::ftDate, 2},    {db::ftMemo, 3},
        {db::ftBlob, 3},      {db::ftOraClob, 3},   {db::ftBoolean, 4},  {db::ftSmallint, 5}, {db::ftInteger, 6},
        {db::ftAutoInc, 6},   {db::ftFloat, 7},     {db::ftCurrency, 7}, {db::ftBCD, 8},     {db::ftBytes, 9},
        {db::ftTime, 10},     {db::ftDateTime, 11}, {db::ftWord, 12},    {db::ftVarBytes, 15}, {db::ftCursor, 17},
        {db::ftLargeint, 18}, {db::ftADT, 20},      {db::ftDataSet, 23}, {db::ftUnknown, 0}, {db::ftVariant, 0},
    };
    for (const auto& [type, engineType] : cases) EXPECT_EQ(sql::EngineParamType(type), engineType) << type;
}

using Image = std::array<std::uint8_t, engine::FieldDescSize>;

Image Encoded(const engine::TFieldDesc& desc) {
    Image image{};
    engine::EncodeFieldDesc(desc, image);
    return image;
}

// The descriptor as the statement reads it: zero but for these bytes.
Image Expected(std::uint16_t number, const std::string& name, std::uint8_t type, std::uint8_t size,
               std::uint8_t storedSize, std::uint8_t storedScale, std::uint16_t offset) {
    Image image{};
    image[0] = static_cast<std::uint8_t>(number);
    image[2] = static_cast<std::uint8_t>(name.size());
    for (std::size_t i = 0; i < name.size(); ++i) image[3 + i] = static_cast<std::uint8_t>(name[i]);
    image[84] = type;
    image[86] = size;
    image[88] = storedSize;
    image[89] = storedScale;
    image[90] = static_cast<std::uint8_t>(offset);
    image[91] = static_cast<std::uint8_t>(offset >> 8);
    return image;
}

TEST(BuildParamBlock, LaysOutDescriptorsAndSlots) {
    TTARNISParams params;
    params.CreateParam(db::ftUnknown, "s", sql::ptUnknown).SetAsString("ab");
    params.CreateParam(db::ftUnknown, "amount", sql::ptUnknown).SetAsBCD(rtl::Currency::FromRaw(15000));
    params.CreateParam(db::ftUnknown, "d", sql::ptUnknown).SetAsDate(rtl::EncodeDate(2000, 1, 1));
    params.CreateParam(db::ftInteger, "n", sql::ptUnknown).Clear();
    // A name beyond the descriptor's 30 characters is cut.
    params.CreateParam(db::ftUnknown, std::string(31, 'x'), sql::ptUnknown).SetAsSmallInt(1);

    const sql::TParamBlock block = sql::BuildParamBlock(params);
    ASSERT_EQ(block.Descriptors.size(), 5u);
    EXPECT_EQ(Encoded(block.Descriptors[0]), Expected(1, "s", 1, 255, 3, 0, 0));
    EXPECT_EQ(Encoded(block.Descriptors[1]), Expected(2, "amount", 8, 0, 8, 4, 4));
    EXPECT_EQ(Encoded(block.Descriptors[2]), Expected(3, "d", 2, 0, 4, 0, 13));
    EXPECT_EQ(Encoded(block.Descriptors[3]), Expected(4, "n", 6, 0, 4, 0, 18));
    EXPECT_EQ(Encoded(block.Descriptors[4]), Expected(5, std::string(30, 'x'), 5, 0, 2, 0, 23));
    // 1.5 at scale 4 is 150004; 1 January 2000 is day 730120 (0x000B2408).
    const std::vector<std::uint8_t> buffer = {
        1, 'a', 'b', 0,                                 // s
        1, 0xF4, 0x49, 0x02, 0, 0, 0, 0, 0,            // amount
        1, 0x08, 0x24, 0x0B, 0,                         // d
        0, 0, 0, 0, 0,                                  // n: null
        1, 1, 0,                                        // xxx...
    };
    EXPECT_EQ(block.Buffer, buffer);
}

TEST(BuildParamBlock, RefusesWhatTheBlockCannotCarryBeforeWritingIt) {
    TTARNISParams params;
    params.CreateParam(db::ftUnknown, "s", sql::ptUnknown).SetAsString(std::string(254, 'a'));
    EXPECT_EQ(sql::BuildParamBlock(params).Buffer.size(), 256u);
    params.Param(0).SetAsString(std::string(255, 'a'));
    EXPECT_EQ(MessageOf([&] { sql::BuildParamBlock(params); }), "Parameter 's' is too large to bind");

    TTARNISParams many;
    for (int i = 0; i < 300; ++i)
        many.CreateParam(db::ftUnknown, "p" + std::to_string(i), sql::ptUnknown).SetAsString(std::string(254, 'a'));
    // 256 slots of 256 bytes pass 65535 at the 256th.
    EXPECT_EQ(MessageOf([&] { sql::BuildParamBlock(many); }), "Parameter 'p255' is too large to bind");

    TTARNISParams types;
    types.CreateParam(db::ftUnknown, "u", sql::ptUnknown);
    EXPECT_EQ(MessageOf([&] { sql::BuildParamBlock(types); }), "Field 'u' is of unknown type");
    types.Param(0).SetDataType(db::ftMemo);
    EXPECT_EQ(MessageOf([&] { sql::BuildParamBlock(types); }), "Field 'u' is of an unsupported type");
}

}  // namespace
