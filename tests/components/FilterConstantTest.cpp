#include "components/FilterConstant.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "components/ComponentTexts.h"
#include "engine/base/FileBytes.h"
#include "engine/values/FieldTypes.h"
#include "rtl/DateTime.h"
#include "rtl/FormatSettings.h"
#include "tests/db/support/MessageOf.h"

namespace {

using components::FilterConstantFor;
using components::TFilterConstant;
using Bytes = std::vector<std::uint8_t>;

Bytes U16(std::uint16_t v) {
    Bytes b(2);
    engine::StoreU16(b.data(), v);
    return b;
}
Bytes U32(std::uint32_t v) {
    Bytes b(4);
    engine::StoreU32(b.data(), v);
    return b;
}
Bytes U64(std::uint64_t v) {
    Bytes b(8);
    engine::StoreU64(b.data(), v);
    return b;
}
Bytes F64(double v) {
    Bytes b(8);
    engine::StoreF64(b.data(), v);
    return b;
}

rtl::FormatSettings UsSettings() {
    rtl::FormatSettings s;
    s.ShortDateFormat = "mm/dd/yy";
    s.DateSeparator = '/';
    s.DecimalSeparator = '.';
    return s;
}

rtl::FormatSettings GermanSettings() {
    rtl::FormatSettings s;
    s.ShortDateFormat = "d.M.yyyy";
    s.DateSeparator = '.';
    s.DecimalSeparator = ',';
    s.ThousandSeparator = '.';
    return s;
}

struct ConstantCase {
    db::TFieldType field;
    int decimals;
    std::string text;
    std::uint16_t type;
    Bytes value;
};

// 31 December 1999 is day 730119; 13:45:30 is 49,530,000 milliseconds into the day.
constexpr std::int32_t Day = 730119;
constexpr std::int32_t Moment = 49530000;
constexpr double DayAndMoment = 730119.0 * 86400000.0 + Moment;

void ExpectConstants(const std::vector<ConstantCase>& cases) {
    for (const ConstantCase& c : cases) {
        SCOPED_TRACE(c.text);
        const std::optional<TFilterConstant> constant =
            FilterConstantFor(c.field, c.decimals, rtl::Variant(c.text));
        ASSERT_TRUE(constant.has_value());
        EXPECT_EQ(constant->Type, c.type);
        EXPECT_EQ(constant->Value, c.value);
    }
}

TEST(FilterConstant, TextsConvertUnderTheUsSettings) {
    rtl::FormatSettingsGuard settings(UsSettings());
    ExpectConstants({
        {db::ftDate, 0, "12/31/1999", engine::FieldTypeDate, U32(Day)},
        {db::ftTime, 0, "13:45:30", engine::FieldTypeTime, U32(Moment)},
        {db::ftDateTime, 0, "12/31/1999 13:45:30", engine::FieldTypeDateTime, F64(DayAndMoment)},
        {db::ftBCD, 2, "12.34", engine::FieldTypeBcd, U64(12342)},
        {db::ftBCD, 2, "-2.5", engine::FieldTypeBcd, U64(static_cast<std::uint64_t>(-2502))},
        {db::ftFloat, 0, "2.5", engine::FieldTypeFloat, F64(2.5)},
        {db::ftCurrency, 0, "-0.25", engine::FieldTypeFloat, F64(-0.25)},
        {db::ftInteger, 0, "-42", engine::FieldTypeInteger, U32(static_cast<std::uint32_t>(-42))},
        {db::ftAutoInc, 0, "7", engine::FieldTypeInteger, U32(7)},
        {db::ftSmallint, 0, "-32768", engine::FieldTypeSmallInt, U16(0x8000)},
        {db::ftSmallint, 0, "32767", engine::FieldTypeSmallInt, U16(0x7FFF)},
        {db::ftWord, 0, "0", engine::FieldTypeWord, U16(0)},
        {db::ftWord, 0, "65535", engine::FieldTypeWord, U16(0xFFFF)},
        {db::ftBoolean, 0, "True", engine::FieldTypeBoolean, U16(1)},
        {db::ftBoolean, 0, "false", engine::FieldTypeBoolean, U16(0)},
    });
}

TEST(FilterConstant, TextsConvertUnderOtherSettingsAndUsTextsFail) {
    rtl::FormatSettingsGuard settings(GermanSettings());
    ExpectConstants({
        {db::ftDate, 0, "31.12.1999", engine::FieldTypeDate, U32(Day)},
        {db::ftTime, 0, "13:45:30", engine::FieldTypeTime, U32(Moment)},
        {db::ftDateTime, 0, "31.12.1999 13:45:30", engine::FieldTypeDateTime, F64(DayAndMoment)},
        {db::ftBCD, 2, "12,34", engine::FieldTypeBcd, U64(12342)},
        {db::ftFloat, 0, "2,5", engine::FieldTypeFloat, F64(2.5)},
        {db::ftInteger, 0, "42", engine::FieldTypeInteger, U32(42)},
        {db::ftSmallint, 0, "-32768", engine::FieldTypeSmallInt, U16(0x8000)},
        {db::ftWord, 0, "65535", engine::FieldTypeWord, U16(0xFFFF)},
    });
    for (const auto& [field, text] :
         std::vector<std::pair<db::TFieldType, std::string>>{{db::ftDate, "12/31/1999"},
                                                             {db::ftDateTime, "12/31/1999 13:45:30"},
                                                             {db::ftFloat, "2.5"},
                                                             {db::ftBCD, "12.34"}}) {
        SCOPED_TRACE(text);
        EXPECT_THROW(FilterConstantFor(field, 2, rtl::Variant(text)), rtl::EConvertError);
    }
}

TEST(FilterConstant, RangeEndsAndValuesBeyondThemRaise) {
    for (const auto& [field, decimals, text] : std::vector<std::tuple<db::TFieldType, int, std::string>>{
             {db::ftSmallint, 0, "32768"},
             {db::ftSmallint, 0, "-32769"},
             {db::ftWord, 0, "-1"},
             {db::ftWord, 0, "65536"},
             // Beyond 64 bits in the scaled form: 9e11 x 10^9 x 10.
             {db::ftBCD, 9, "900000000000"}}) {
        SCOPED_TRACE(text);
        EXPECT_EQ(db_test::MessageOf([&] { FilterConstantFor(field, decimals, rtl::Variant(text)); }),
                  components::kConstantOutOfRange);
    }
    EXPECT_THROW(FilterConstantFor(db::ftInteger, 0, rtl::Variant("3000000000")), rtl::EConvertError);
}

TEST(FilterConstant, OtherVariantsConvertByTheVariantConversions) {
    const rtl::TDateTime moment = rtl::EncodeDateTime(1999, 12, 31, 13, 45, 30, 0);
    const auto value = [](db::TFieldType field, const rtl::Variant& v, int decimals = 0) {
        return FilterConstantFor(field, decimals, v)->Value;
    };
    EXPECT_EQ(value(db::ftInteger, rtl::Variant(std::int32_t{7})), U32(7));
    EXPECT_EQ(value(db::ftSmallint, rtl::Variant(2.6)), U16(3));
    EXPECT_EQ(value(db::ftDate, rtl::Variant::FromDateTime(moment)), U32(Day));
    EXPECT_EQ(value(db::ftTime, rtl::Variant::FromDateTime(moment)), U32(Moment));
    EXPECT_EQ(value(db::ftDateTime, rtl::Variant::FromDateTime(moment)), F64(DayAndMoment));
    EXPECT_EQ(value(db::ftBCD, rtl::Variant(rtl::Currency::FromRaw(123400)), 2), U64(12342));
    EXPECT_EQ(value(db::ftBoolean, rtl::Variant(true)), U16(1));
    EXPECT_EQ(value(db::ftFloat, rtl::Variant(std::int32_t{3})), F64(3.0));
}

TEST(FilterConstant, TypesWithoutAConstantFormHaveNone) {
    for (db::TFieldType type : {db::ftString, db::ftMemo, db::ftBlob, db::ftBytes, db::ftLargeint})
        EXPECT_FALSE(FilterConstantFor(type, 0, rtl::Variant("1")).has_value()) << int(type);
}

TEST(FilterConstant, StringsEndAtTheirZeroAndKeep254Characters) {
    EXPECT_EQ(components::FilterStringConstant("ab").Value, (Bytes{'a', 'b', 0}));
    EXPECT_EQ(components::FilterStringConstant("").Value, (Bytes{0}));
    EXPECT_EQ(components::FilterStringConstant(std::string("ab\0cd", 5)).Value, (Bytes{'a', 'b', 0}));
    const TFilterConstant cut = components::FilterStringConstant(std::string(300, 'x'));
    EXPECT_EQ(cut.Type, engine::FieldTypeString);
    EXPECT_EQ(cut.Value.size(), 255u);
    EXPECT_EQ(cut.Value.back(), 0);
    EXPECT_EQ(components::FilterTrueConstant().Value, U16(0xFFFF));
}

}  // namespace
