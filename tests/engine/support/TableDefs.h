// TableDefs: field and index descriptions in one call each, for the engine's tests and benchmarks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <utility>

#include "engine/table/DataFile.h"
#include "engine/values/FieldTypes.h"

namespace enginetest {

inline engine::TFieldDesc FieldDef(std::uint16_t number, std::string name, std::uint8_t type,
                                   std::uint8_t size = 0, std::uint8_t scale = 0, std::uint8_t subType = 0) {
    engine::TFieldDesc field;
    field.FieldNumber = number;
    field.Name = std::move(name);
    field.FieldType = type;
    field.Size = size;
    field.Scale = scale;
    field.SubType = subType;
    return field;
}

inline engine::TFieldDesc AutoIncDef(std::uint16_t number, std::string name) {
    return FieldDef(number, std::move(name), engine::FieldTypeInteger, 0, 0, engine::FieldSubTypeAutoInc);
}

inline engine::TIndexDescriptor IndexDef(std::string name, std::initializer_list<std::uint16_t> fields,
                                         bool unique = false) {
    engine::TIndexDescriptor index;
    index.Name = std::move(name);
    index.Unique = unique ? 1 : 0;
    std::size_t i = 0;
    for (std::uint16_t number : fields) index.FieldNumbers.at(i++) = number;
    index.FieldCount = static_cast<std::uint8_t>(i);
    return index;
}

}  // namespace enginetest
