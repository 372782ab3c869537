#include "sql/JoinKeyTable.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

#include "engine/expr/ExprConvert.h"
#include "engine/expr/ExprEvaluator.h"
#include "engine/expr/ExprOperators.h"
#include "engine/table/DataFile.h"
#include "engine/table/Filter.h"
#include "engine/values/Collation.h"
#include "engine/values/FieldTypes.h"

namespace sql {

namespace {

template <typename T>
void Append(std::string& key, T value) {
    char bytes[sizeof value];
    std::memcpy(bytes, &value, sizeof value);
    key.append(bytes, sizeof value);
}

}  // namespace

// The comparison of two values of one kind (ExprOperators.cpp) decides "=" by: the truth values of two
// booleans; the characters up to the zero, byte by byte, under the bytes' collation; the 64-bit values of
// two integers of any width; the doubles of two floats or two date-times, where 0 equals -0 and NaN equals
// nothing; the i32 of two dates or two times. Pairs of different kinds (an integer and a float, a date and a
// date-time) and decimals compare by other rules: they get no key.
bool TJoinKeyTable::MakeKey(const engine::ExprValue& value, bool byteStrings, KeyKind& kind, std::string& key) {
    key.clear();
    kind = KeyKind::None;
    switch (value.FieldType) {
        case engine::FieldTypeBoolean:
            kind = KeyKind::Boolean;
            key.push_back(value.IsTrue() ? '\1' : '\0');
            return true;
        case engine::FieldTypeString:
            if (!byteStrings) return false;
            kind = KeyKind::String;
            key.assign(value.GetText());
            return true;
        case engine::FieldTypeFloat:
        case engine::FieldTypeDateTime: {
            kind = value.FieldType == engine::FieldTypeFloat ? KeyKind::Float : KeyKind::DateTime;
            double number = value.GetDouble();
            if (std::isnan(number)) return false;
            if (number == 0) number = 0;  // -0 equals 0
            Append(key, number);
            return true;
        }
        case engine::FieldTypeDate:
        case engine::FieldTypeTime:
            kind = value.FieldType == engine::FieldTypeDate ? KeyKind::Date : KeyKind::Time;
            Append(key, value.GetInt32());
            return true;
        default:
            if (!engine::IsIntegerFieldType(value.FieldType)) return false;
            kind = KeyKind::Integer;
            Append(key, engine::IntegerValue(value));
            return true;
    }
}

std::unique_ptr<TJoinKeyTable> TJoinKeyTable::Build(engine::TDataFile& table, const engine::TExprNode& inner,
                                                    std::size_t maxBytes) {
    std::unique_ptr<TJoinKeyTable> made(new TJoinKeyTable());
    made->stride_ = table.GetRecordBufferSize();
    made->byteStrings_ = &engine::ExprCollation(table.GetLanguageId(), table.GetSortId()) ==
                         &engine::ByteOrderCollation();
    std::vector<std::uint8_t> image(made->stride_);
    std::string key;
    // Each keyed row with its key, grouped once every row is read.
    std::vector<std::pair<std::string, std::uint32_t>> keyedRows;
    table.SetToBegin();
    while (table.GetNextRecord(image) == 0) {
        if (made->images_.size() + made->stride_ > maxBytes) return nullptr;
        const auto row = static_cast<std::uint32_t>(made->all_.size());
        made->images_.insert(made->images_.end(), image.begin(), image.end());
        made->all_.push_back(row);
        // The operand as a filter on the table evaluates it (engine::EvaluateRecord).
        engine::ExprValue value = inner.Value;
        std::span<const std::uint8_t> record(image);
        engine::EvaluateExpr(inner, &record, &table,
                             engine::GetColumnValue, table.GetLanguageId(), table.GetSortId(), value);
        if (value.IsNull != 0) {
            made->nulls_.push_back(row);
            continue;
        }
        KeyKind kind = KeyKind::None;
        const bool keyed = MakeKey(value, made->byteStrings_, kind, key);
        if (kind == KeyKind::None || (made->kind_ != KeyKind::None && kind != made->kind_)) return nullptr;
        made->kind_ = kind;
        // A value without a key (NaN) equals nothing.
        if (keyed) keyedRows.emplace_back(key, row);
    }
    // Stable: equal keys keep the table's order.
    std::stable_sort(keyedRows.begin(), keyedRows.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    made->rows_.reserve(keyedRows.size());
    for (auto& [rowKey, row] : keyedRows) {
        const auto at = static_cast<std::uint32_t>(made->rows_.size());
        if (made->groups_.empty() || made->groups_.back().Key != rowKey)
            made->groups_.push_back({std::move(rowKey), at, at});
        made->rows_.push_back(row);
        made->groups_.back().End = at + 1;
    }
    return made;
}

TJoinKeyTable::Candidates TJoinKeyTable::Find(const engine::ExprValue& outer) const {
    if (outer.IsNull != 0) return {nulls_, true};
    KeyKind kind = KeyKind::None;
    std::string key;
    const bool keyed = MakeKey(outer, byteStrings_, kind, key);
    // No row has a value that is not NULL: none equals this one.
    if (kind_ == KeyKind::None && kind != KeyKind::None) return {{}, true};
    if (kind == KeyKind::None || kind != kind_) return {all_, false};
    if (!keyed) return {{}, true};
    const auto found = std::lower_bound(groups_.begin(), groups_.end(), key,
                                        [](const Group& group, const std::string& k) { return group.Key < k; });
    if (found == groups_.end() || found->Key != key) return {{}, true};
    return {std::span<const std::uint32_t>(rows_).subspan(found->Begin, found->End - found->Begin), true};
}

}  // namespace sql
