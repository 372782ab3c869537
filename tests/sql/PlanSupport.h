// Tables and readers for planning tests: rows written through the engine, a plan printed as text, and the
// records a source table shows through its filters.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "engine/expr/ExprEvaluator.h"
#include "engine/values/FieldTypes.h"
#include "sql/DataQuery.h"
#include "tests/engine/support/TableFixture.h"

namespace sqltest {

// A field's value for a new row: an i32, an i16, a double or a text; nullopt for NULL.
struct Cell {
    std::uint8_t type = engine::FieldTypeInteger;
    std::optional<double> number;
    std::string text;
    bool null = false;
};
inline Cell Int(std::int32_t v) {
    return {engine::FieldTypeInteger, v, {}, false};
}
inline Cell Small(std::int16_t v) {
    return {engine::FieldTypeSmallInt, v, {}, false};
}
inline Cell Real(double v) {
    return {engine::FieldTypeFloat, v, {}, false};
}
inline Cell Text(std::string v) {
    return {engine::FieldTypeString, std::nullopt, std::move(v), false};
}
// A word, a date's day number, and a BCD value in its stored form (ScaledNumber.h).
inline Cell Word(std::uint16_t v) {
    return {engine::FieldTypeWord, v, {}, false};
}
inline Cell Date(std::int32_t v) {
    return {engine::FieldTypeDate, v, {}, false};
}
inline Cell Bcd(std::int64_t stored) {
    return {engine::FieldTypeBcd, std::nullopt, std::to_string(stored), false};
}
inline Cell Null() {
    return {engine::FieldTypeInteger, std::nullopt, {}, true};
}

// Appends the rows; each row's cells fill fields 1, 2, ... in order.
inline void InsertRows(const std::string& name, const std::vector<std::vector<Cell>>& rows) {
    engine::TDataFile table;
    table.SetFileName(name);
    table.Open();
    std::vector<std::uint8_t> image(table.GetRecordBufferSize());
    for (const auto& row : rows) {
        table.InitRecord(image);
        for (std::size_t i = 0; i < row.size(); ++i) {
            const Cell& cell = row[i];
            const auto field = static_cast<std::uint16_t>(i + 1);
            std::uint8_t bytes[256] = {};
            std::size_t size = 0;
            if (cell.null) {
                table.SetField(false, field, image, std::nullopt);
                continue;
            }
            if (cell.type == engine::FieldTypeInteger || cell.type == engine::FieldTypeDate) {
                const auto v = static_cast<std::int32_t>(*cell.number);
                std::memcpy(bytes, &v, size = 4);
            } else if (cell.type == engine::FieldTypeSmallInt) {
                const auto v = static_cast<std::int16_t>(*cell.number);
                std::memcpy(bytes, &v, size = 2);
            } else if (cell.type == engine::FieldTypeWord) {
                const auto v = static_cast<std::uint16_t>(*cell.number);
                std::memcpy(bytes, &v, size = 2);
            } else if (cell.type == engine::FieldTypeBcd) {
                const std::int64_t v = std::stoll(cell.text);
                std::memcpy(bytes, &v, size = 8);
            } else if (cell.type == engine::FieldTypeFloat) {
                const double v = *cell.number;
                std::memcpy(bytes, &v, size = 8);
            } else {
                std::memcpy(bytes, cell.text.data(), cell.text.size());
                size = cell.text.size() + 1;
            }
            table.SetField(false, field, image, std::span<const std::uint8_t>(bytes, size));
        }
        table.InsertRecord(image, true);
    }
}

// The condition as SQL-like text: columns as correlation.name, constants by value, a prefix compare as
// =[n] or <>[n].
std::string Sql(const engine::TExprNode* node);

// "A>B inner (A.X = B.X); B>C none" for every link, the tables in join order.
std::string Links(const sql::TDataQuery& query);
// The correlation names in join order, joined by commas.
std::string Order(const sql::TDataQuery& query);

// The first integer field of each record the source table shows through its filters, in natural order; a
// row failing the run's residual condition (evaluated with only this table's row) is left out when asked.
std::vector<std::int32_t> VisibleIds(sql::TDataQuery& query, std::size_t source, bool residual = false);

}  // namespace sqltest
