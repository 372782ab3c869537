// The engine's field type codes, as field descriptors store them and every library exchanges them.
#pragma once

#include <cstdint>

namespace engine {

// The codes are part of the record file format: stored descriptors, filter blobs and parameter blocks
// carry them. 0 is no type (a null constant, an invalid descriptor).
inline constexpr std::uint8_t FieldTypeNone = 0;
inline constexpr std::uint8_t FieldTypeString = 1;     // zero-terminated text
inline constexpr std::uint8_t FieldTypeDate = 2;       // i32 day number, 1 January of year 1 being day 1
inline constexpr std::uint8_t FieldTypeBlob = 3;       // i32 large-object reference
inline constexpr std::uint8_t FieldTypeBoolean = 4;    // u16, 0 or 1
inline constexpr std::uint8_t FieldTypeSmallInt = 5;   // i16
inline constexpr std::uint8_t FieldTypeInteger = 6;    // i32
inline constexpr std::uint8_t FieldTypeFloat = 7;      // IEEE double
inline constexpr std::uint8_t FieldTypeBcd = 8;        // i64 scaled integer (ScaledNumber.h)
inline constexpr std::uint8_t FieldTypeBytes = 9;      // fixed-size bytes
inline constexpr std::uint8_t FieldTypeTime = 10;      // i32 milliseconds since midnight
inline constexpr std::uint8_t FieldTypeDateTime = 11;  // double: day number x 86,400,000 + milliseconds
inline constexpr std::uint8_t FieldTypeWord = 12;      // u16
inline constexpr std::uint8_t FieldTypeLongWord = 13;  // u32
inline constexpr std::uint8_t FieldTypeExtended = 14;  // 10-byte float
inline constexpr std::uint8_t FieldTypeVarBytes = 15;  // variable bytes

// Subtypes refine a type: money on floats, autoincrement on 32-bit integers.
inline constexpr std::uint8_t FieldSubTypeMoney = 21;
inline constexpr std::uint8_t FieldSubTypeAutoInc = 29;

}  // namespace engine
