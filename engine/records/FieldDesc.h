// TFieldDesc: the engine's 768-byte field descriptor, as stored in the record file and passed between the
// engine, the dataset components and the SQL engine; its codec and the stored size of each field type.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "engine/records/CompiledExpression.h"

namespace engine {

// | Offset | Size | Type    | Field                                                                   |
// |--------|------|---------|-------------------------------------------------------------------------|
// | 0      | 2    | u16     | field number (1-based position)                                         |
// | 2      | 31   | ss[30]  | name                                                                    |
// | 33     | 51   | -       | reserved, passed through                                                |
// | 84     | 1    | u8      | type                                                                    |
// | 85     | 1    | u8      | subtype                                                                 |
// | 86     | 1    | u8      | size (types 1, 9 and 15 only, at most 250)                              |
// | 87     | 1    | u8      | scale (type 8 only)                                                     |
// | 88     | 1    | u8      | stored size                                                             |
// | 89     | 1    | u8      | stored scale                                                            |
// | 90     | 2    | u16     | offset of the null-flag byte in the record image                        |
// | 92     | 1    | u8      | required flag                                                           |
// | 93     | 1    | -       | reserved, passed through                                                |
// | 94     | 51   | ss[50]  | minimum                                                                 |
// | 145    | 51   | ss[50]  | maximum                                                                 |
// | 196    | 51   | ss[50]  | default                                                                 |
// | 247    | 1    | u8      | calculated flag                                                         |
// | 248    | 256  | ss[255] | expression                                                              |
// | 504    | 4    | u32     | compiled expression: a run-time reference, 0 in the file                |
// | 508    | 260  | -       | reserved, passed through                                                |
inline constexpr std::size_t FieldDescSize = 768;

inline constexpr std::size_t FieldNumberOffset = 0;
inline constexpr std::size_t FieldNameOffset = 2;
inline constexpr std::size_t FieldReserved1Offset = 33;
inline constexpr std::size_t FieldTypeOffset = 84;
inline constexpr std::size_t FieldSubTypeOffset = 85;
inline constexpr std::size_t FieldSizeOffset = 86;
inline constexpr std::size_t FieldScaleOffset = 87;
inline constexpr std::size_t FieldStoredSizeOffset = 88;
inline constexpr std::size_t FieldStoredScaleOffset = 89;
inline constexpr std::size_t FieldOffsetOffset = 90;
inline constexpr std::size_t FieldRequiredOffset = 92;
inline constexpr std::size_t FieldReserved2Offset = 93;
inline constexpr std::size_t FieldMinimumOffset = 94;
inline constexpr std::size_t FieldMaximumOffset = 145;
inline constexpr std::size_t FieldDefaultOffset = 196;
inline constexpr std::size_t FieldCalculatedOffset = 247;
inline constexpr std::size_t FieldExpressionOffset = 248;
inline constexpr std::size_t FieldCompiledOffset = 504;
inline constexpr std::size_t FieldReserved3Offset = 508;

// Rooms of the descriptor's strings.
inline constexpr std::size_t MaxFieldNameLength = 30;
inline constexpr std::size_t MaxFieldTextLength = 50;
inline constexpr std::size_t MaxExpressionLength = 255;

// The largest size a string, bytes or variable-bytes field keeps: its value and a zero fill the engine's
// 251-byte value areas.
inline constexpr std::uint8_t MaxRetainedFieldSize = 250;
// The offset every autoincrement field has: its value is the record ID in the record header.
inline constexpr std::uint16_t AutoIncFieldOffset = 5;
// The first stored field's null-flag byte follows the 9-byte record header.
inline constexpr std::uint16_t FirstFieldOffset = 9;

struct TFieldDesc {
    std::uint16_t FieldNumber = 0;
    std::string Name;
    std::array<std::uint8_t, 51> Reserved1{};
    std::uint8_t FieldType = 0;
    std::uint8_t SubType = 0;
    std::uint8_t Size = 0;
    std::uint8_t Scale = 0;
    std::uint8_t StoredSize = 0;
    std::uint8_t StoredScale = 0;
    std::uint16_t Offset = 0;
    std::uint8_t Required = 0;
    std::uint8_t Reserved2 = 0;
    std::string MinValue;
    std::string MaxValue;
    std::string DefaultValue;
    std::uint8_t Calculated = 0;
    std::string Expression;
    // The compiled tree of a calculated field, owned by whoever compiled it (the SQL engine); never stored.
    TCompiledExpression* CompiledExpression = nullptr;
    std::array<std::uint8_t, 260> Reserved3{};

    bool IsAutoInc() const noexcept;
    bool IsCalculated() const noexcept { return Calculated != 0; }
    // Neither autoincrement nor calculated: the field has its own room in the slot.
    bool IsStored() const noexcept { return !IsAutoInc() && !IsCalculated(); }
    // Stored descriptors give a calculated field offset 0: it has no room in a record image until a working
    // set places it after the stored record.
    bool LacksRoom() const noexcept { return IsCalculated() && Offset == 0; }
};

// Writes the 768 bytes; strings longer than their room are cut, and the compiled-expression reference is
// written as 0.
void EncodeFieldDesc(const TFieldDesc& desc, std::span<std::uint8_t, FieldDescSize> bytes);
// Reads the 768 bytes; the compiled expression is cleared. False when a string's length byte claims more than
// its room (the string is then cut), which a correct file never holds.
bool DecodeFieldDesc(std::span<const std::uint8_t, FieldDescSize> bytes, TFieldDesc& desc);

// Whether the type keeps its declared size (strings, bytes and variable bytes); every other type has size 0.
bool RetainsFieldSize(std::uint8_t fieldType) noexcept;
// The bytes a value of the type takes in a slot: a string its size + 1 (the zero), bytes and variable bytes
// their size, the fixed types their width, and any other code its size. A string of size 255 would need 256,
// which no descriptor can hold: callers check sizes first.
std::uint16_t StoredFieldSize(std::uint8_t fieldType, std::uint8_t size) noexcept;
// The descriptor's stored size from its type and size, and its stored scale from its scale.
void SetStoredSize(TFieldDesc& desc) noexcept;
void SetStoredScale(TFieldDesc& desc) noexcept;

}  // namespace engine
