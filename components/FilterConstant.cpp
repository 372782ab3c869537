// Filter constants in the engine's stored forms (declared in FilterConstant.h).
#include "components/FilterConstant.h"

#include <algorithm>
#include <limits>

#include "components/ComponentTexts.h"
#include "db/DatabaseError.h"
#include "engine/base/FileBytes.h"
#include "engine/values/FieldTypes.h"
#include "engine/values/ScaledNumber.h"
#include "rtl/DateTime.h"
#include "rtl/DateTimeParse.h"
#include "rtl/NumberConvert.h"

namespace components {

namespace {

bool IsText(const rtl::Variant& value) noexcept {
    return value.Type() == rtl::VarType::String;
}

TFilterConstant U16Constant(std::uint16_t type, std::uint16_t value) {
    TFilterConstant constant{type, std::vector<std::uint8_t>(2)};
    engine::StoreU16(constant.Value.data(), value);
    return constant;
}

TFilterConstant U32Constant(std::uint16_t type, std::uint32_t value) {
    TFilterConstant constant{type, std::vector<std::uint8_t>(4)};
    engine::StoreU32(constant.Value.data(), value);
    return constant;
}

TFilterConstant U64Constant(std::uint16_t type, std::uint64_t value) {
    TFilterConstant constant{type, std::vector<std::uint8_t>(8)};
    engine::StoreU64(constant.Value.data(), value);
    return constant;
}

TFilterConstant F64Constant(std::uint16_t type, double value) {
    TFilterConstant constant{type, std::vector<std::uint8_t>(8)};
    engine::StoreF64(constant.Value.data(), value);
    return constant;
}

// Smallint (5), integer (6) and word (12); the two 16-bit types are checked against their ranges.
TFilterConstant IntConstant(std::uint16_t type, const rtl::Variant& value) {
    const std::int32_t number = IsText(value) ? rtl::StrToInt(value.StringValue()) : rtl::VarToInt(value);
    switch (type) {
        case engine::FieldTypeSmallInt:
            if (number < std::numeric_limits<std::int16_t>::min() ||
                number > std::numeric_limits<std::int16_t>::max()) {
                db::DatabaseError(kConstantOutOfRange);
            }
            return U16Constant(type, static_cast<std::uint16_t>(static_cast<std::int16_t>(number)));
        case engine::FieldTypeWord:
            if (number < 0 || number > std::numeric_limits<std::uint16_t>::max())
                db::DatabaseError(kConstantOutOfRange);
            return U16Constant(type, static_cast<std::uint16_t>(number));
        default:
            return U32Constant(type, static_cast<std::uint32_t>(number));
    }
}

TFilterConstant BoolConstant(const rtl::Variant& value) {
    return U16Constant(engine::FieldTypeBoolean, rtl::VarToBool(value) ? 1 : 0);
}

TFilterConstant FloatConstant(const rtl::Variant& value) {
    return F64Constant(engine::FieldTypeFloat,
                       IsText(value) ? rtl::StrToFloat(value.StringValue()) : rtl::VarToReal(value));
}

TFilterConstant BCDConstant(int decimals, const rtl::Variant& value) {
    const rtl::Currency amount = IsText(value) ? rtl::StrToCurr(value.StringValue()) : rtl::VarToCurr(value);
    const std::optional<std::int64_t> scaled = engine::CurrToScaledInt(decimals, amount);
    if (!scaled) db::DatabaseError(kConstantOutOfRange);
    return U64Constant(engine::FieldTypeBcd, static_cast<std::uint64_t>(*scaled));
}

using TextToDateTime = rtl::TDateTime (*)(std::string_view);

rtl::TimeStamp StampOf(const rtl::Variant& value, TextToDateTime fromText) {
    return rtl::DateTimeToTimeStamp(IsText(value) ? fromText(value.StringValue())
                                                  : rtl::VarToDateTime(value));
}

TFilterConstant DateConstant(const rtl::Variant& value) {
    const rtl::TimeStamp stamp = StampOf(value, [](std::string_view text) { return rtl::StrToDate(text); });
    return U32Constant(engine::FieldTypeDate, static_cast<std::uint32_t>(stamp.Date));
}

TFilterConstant TimeConstant(const rtl::Variant& value) {
    const rtl::TimeStamp stamp = StampOf(value, [](std::string_view text) { return rtl::StrToTime(text); });
    return U32Constant(engine::FieldTypeTime, static_cast<std::uint32_t>(stamp.Time));
}

TFilterConstant DateTimeConstant(const rtl::Variant& value) {
    const rtl::TimeStamp stamp =
        StampOf(value, [](std::string_view text) { return rtl::StrToDateTime(text); });
    return F64Constant(engine::FieldTypeDateTime, rtl::TimeStampToMSecs(stamp));
}

}  // namespace

TFilterConstant FilterStringConstant(std::string_view text) {
    text = text.substr(0, std::min({text.find('\0'), text.size(), MaxFilterStringLength}));
    TFilterConstant constant{engine::FieldTypeString, std::vector<std::uint8_t>(text.begin(), text.end())};
    constant.Value.push_back(0);
    return constant;
}

TFilterConstant FilterTrueConstant() {
    return U16Constant(engine::FieldTypeBoolean, 0xFFFF);
}

std::optional<TFilterConstant> FilterConstantFor(db::TFieldType type, int decimals,
                                                 const rtl::Variant& value) {
    switch (type) {
        case db::ftSmallint:
            return IntConstant(engine::FieldTypeSmallInt, value);
        case db::ftInteger:
        case db::ftAutoInc:
            return IntConstant(engine::FieldTypeInteger, value);
        case db::ftWord:
            return IntConstant(engine::FieldTypeWord, value);
        case db::ftBoolean:
            return BoolConstant(value);
        case db::ftFloat:
        case db::ftCurrency:
            return FloatConstant(value);
        case db::ftBCD:
            return BCDConstant(decimals, value);
        case db::ftDate:
            return DateConstant(value);
        case db::ftTime:
            return TimeConstant(value);
        case db::ftDateTime:
            return DateTimeConstant(value);
        default:
            return std::nullopt;
    }
}

}  // namespace components
