// Table definitions: the checks that field and index definitions pass before a table is created, and the
// normalised values they write back (trimmed names, forced sizes and scales, stored sizes, offsets, key
// lengths).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "engine/records/FieldDesc.h"
#include "engine/records/IndexDescriptor.h"

namespace engine {

// The form in which field and index names compare without regard to case: the name upper-cased under the
// table's locale (ASCII letters only for language id 0). Two names are the same name when their forms are
// equal; the definition checks and the field lookup by name use this one rule.
std::string NameCompareKey(std::string_view name, std::uint16_t languageId, std::uint16_t sortId,
                           std::string_view fileName = {});

// Every failure raises at once through RaiseEngineError naming the table's file, with the field or index the
// rule concerns; descriptors already normalised stay normalised.

// The whole definition, in this order: the password of a protected table (trimmed, 1 to 15 characters, else
// 10015); the locale (installed, else 15878); at most 1024 fields (9492); at most 32 secondary indexes
// (9487); a block size in 64 .. 65535 (9498); then ValidateFieldDefs assigning offsets and ValidateIndexDefs.
// The index list holds the primary index first, then the secondary ones.
void ValidateDefinition(std::string_view fileName, std::uint16_t languageId, std::uint16_t sortId,
                        bool isProtected, std::string_view password, std::uint32_t blockSize,
                        std::span<TFieldDesc> fields, std::span<TIndexDescriptor> indexes,
                        bool allowNoPrimary);

// Each field in list order, under the table locale's number and date formats: the name trimmed and cut to 30
// characters, starting with a letter and unique without regard to case (10038); a field number no other field
// has and a type other than 0 (10000); strings, bytes and variable bytes of size at most 250 (10000), every
// other type size 0; default, minimum and maximum valid for the type (10006); scale 0 except for BCD; stored
// size and scale set. With assignOffsets, stored fields are laid out from offset 9 and autoincrement fields
// get offset 5; calculated fields keep theirs.
void ValidateFieldDefs(std::string_view fileName, std::uint16_t languageId, std::uint16_t sortId,
                       std::span<TFieldDesc> fields, bool assignOffsets);

// The primary index and each secondary one, under the same formats: key fields found by field number (10023,
// naming the number and the index, "Primary" for the primary one); a key of 1 .. 1036 bytes (10026), except
// that with allowNoPrimary a primary index whose walk ends at once has none; secondary names trimmed,
// starting with a letter (10022) and unique without regard to case (10027); the primary index's name emptied;
// 4 more key bytes for a non-unique secondary index; field count, key length, root and free-list head written
// back.
void ValidateIndexDefs(std::string_view fileName, std::uint16_t languageId, std::uint16_t sortId,
                       std::span<const TFieldDesc> fields, std::span<TIndexDescriptor> indexes,
                       bool allowNoPrimary);

}  // namespace engine
