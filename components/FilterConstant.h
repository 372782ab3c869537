// Filter constants: a value compared with a dataset field, in the engine's stored form for that field.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "db/FieldType.h"
#include "rtl/Variant.h"

namespace components {

// The engine field type of a filter blob's constant node and the value's bytes, little-endian.
//
// | Field type               | Engine type | Bytes | Value                                              |
// |--------------------------|-------------|-------|----------------------------------------------------|
// | ftString                 | 1           | n + 1 | the characters and a zero; "" (size 1) is NULL     |
// | ftSmallint               | 5           | 2     | i16                                                |
// | ftInteger, ftAutoInc     | 6           | 4     | i32                                                |
// | ftWord                   | 12          | 2     | u16                                                |
// | ftBoolean                | 4           | 2     | u16, 0 false and 1 true                            |
// | ftFloat, ftCurrency      | 7           | 8     | f64                                                |
// | ftBCD                    | 8           | 8     | i64 scaled integer at the field's decimals          |
// | ftDate                   | 2           | 4     | i32 day number (1 January 0001 is day 1)           |
// | ftTime                   | 10          | 4     | i32 milliseconds since midnight                    |
// | ftDateTime               | 11          | 8     | f64 day number x 86,400,000 + milliseconds of day  |
struct TFilterConstant {
    std::uint16_t Type = 0;
    std::vector<std::uint8_t> Value;
};

// A string constant keeps at most this many characters: the engine's expression value holds 254 and its
// zero, so the blob's reader keeps no more, and the size (with the zero) fits the byte the reader takes.
inline constexpr std::size_t MaxFilterStringLength = 254;

// The characters up to the first zero and at most MaxFilterStringLength of them, then a zero.
TFilterConstant FilterStringConstant(std::string_view text);
// The engine's Boolean constant that a Boolean field standing alone is compared with: 0xFFFF.
TFilterConstant FilterTrueConstant();

// The constant for a field of the type, non-string types only; decimals is a BCD field's Size. A value
// held as text is read with the text conversions (StrToInt, StrToFloat, StrToCurr, StrToDate, StrToTime,
// StrToDateTime) under the current format settings, any other with the variant conversions; a value that
// does not convert raises their EConvertError. A smallint or word out of its range, or a BCD value whose
// stored form passes 64 bits, raises "Constant out of range". Nothing for a type without a constant form.
std::optional<TFilterConstant> FilterConstantFor(db::TFieldType type, int decimals,
                                                 const rtl::Variant& value);

}  // namespace components
