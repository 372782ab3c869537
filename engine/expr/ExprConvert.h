// Expression values in the wider forms the operators compute in, and the conversion of a value into another
// field type's stored form.
#pragma once

#include <cstdint>

#include "engine/expr/ExprNode.h"

namespace engine {

// The integer family of the operators: smallint, integer, word and the 32-bit unsigned type, each widened
// exactly.
bool IsIntegerFieldType(std::uint8_t fieldType) noexcept;
// The value of an integer-family value by its FieldType; 0 for any other type.
std::int64_t IntegerValue(const ExprValue& value) noexcept;

// A BCD value in fixed point, a count of 1/10000 units (rounded half to even above scale 4); false when it
// lies beyond the 64-bit count.
bool FixedPointValue(const ExprValue& value, std::int64_t& fixedPoint) noexcept;

// A date-time in milliseconds split into its day number and the milliseconds of that day, the value rounded
// to whole milliseconds first (0.4 ms before midnight is the next day). False for a value that is not finite
// or whose day number lies outside the 32-bit range.
bool SplitDateTime(double msecs, std::int32_t& dayNumber, std::int32_t& msecsOfDay) noexcept;

// Writes the source's value into the target's area in the stored form of the target's FieldType (BCD targets
// at the target's Scale). The pairs, by target:
//
//   target      from                         conversion
//   date        date-time                    the day number of the value rounded to whole milliseconds
//   date-time   date                         midnight of that day
//   smallint,   the integer family           the value
//   integer,    float                        truncated toward zero
//   word        BCD                          the fixed-point value / 10000, truncated toward zero
//   float       the integer family           exact
//               BCD                          the nearest double (ScaledIntToFloat)
//   BCD         the integer family           the value at the target's scale (CurrToScaledInt)
//               float                        FloatToScaledInt at the target's scale
//
// Gives false and leaves the target untouched for a pair not listed (equal types included), a value outside
// the target's range, a float that is not a number, or a BCD value or result that has no fixed-point or
// stored form. The source's and target's IsNull and type fields are neither read nor changed beyond that.
bool ConvertExprValue(const ExprValue& source, ExprValue& target);

}  // namespace engine
