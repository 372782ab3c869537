// Records read back as text rows, for comparing what a statement left with what a plain scan gives.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "engine/table/DataFile.h"
#include "engine/values/FieldTypes.h"
#include "engine/values/ScaledNumber.h"

namespace sqltest {

using Row = std::vector<std::string>;

// A field's value as text: "-" for NULL, numbers in their shortest form, strings as they are.
inline std::string FieldText(const engine::TDataFile& table, std::uint16_t field,
                             std::span<const std::uint8_t> image) {
    std::array<std::uint8_t, 256> bytes{};
    if (table.GetField(true, field, image, bytes)) return "-";
    switch (table.GetFieldDesc(true, field).FieldType) {
        case engine::FieldTypeInteger: {
            std::int32_t v = 0;
            std::memcpy(&v, bytes.data(), 4);
            return std::to_string(v);
        }
        case engine::FieldTypeSmallInt: {
            std::int16_t v = 0;
            std::memcpy(&v, bytes.data(), 2);
            return std::to_string(v);
        }
        case engine::FieldTypeWord: {
            std::uint16_t v = 0;
            std::memcpy(&v, bytes.data(), 2);
            return std::to_string(v);
        }
        case engine::FieldTypeDate:
        case engine::FieldTypeTime: {
            std::int32_t v = 0;
            std::memcpy(&v, bytes.data(), 4);
            return std::to_string(v);
        }
        case engine::FieldTypeBcd: {
            std::int64_t v = 0;
            std::memcpy(&v, bytes.data(), 8);
            return engine::ScaledIntToStr(v);
        }
        case engine::FieldTypeFloat: {
            double v = 0;
            std::memcpy(&v, bytes.data(), 8);
            char text[32];
            std::snprintf(text, sizeof text, "%g", v);
            return text;
        }
        default:
            return reinterpret_cast<const char*>(bytes.data());
    }
}

// Every record the handle shows, in its current order, each field of its working set as text.
inline std::vector<Row> ReadAll(engine::TDataFile& table) {
    std::vector<Row> rows;
    std::vector<std::uint8_t> image(table.GetRecordBufferSize());
    table.SetToBegin();
    while (table.GetNextRecord(image) == 0) {
        Row row;
        for (std::uint16_t field = 1; field <= table.GetFieldCount(); ++field)
            row.push_back(FieldText(table, field, image));
        rows.push_back(std::move(row));
    }
    return rows;
}

inline std::vector<Row> Sorted(std::vector<Row> rows) {
    std::sort(rows.begin(), rows.end());
    return rows;
}

}  // namespace sqltest
