// Aggregate columns: each group's exact running state per column, one value folded in at a time, and the
// value a column stores from it.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/expr/ExprNode.h"
#include "sql/QueryElements.h"

namespace sql {

// What folding needs of an aggregate column: its aggregate and the type and scale its result field has
// (an AVG column's type is its argument's; its field is a float).
struct AggregateColumn {
    AggregateKind Kind = AggregateKind::None;
    bool CountAll = false;  // COUNT(*): every row counts, NULL or not
    std::uint8_t FieldType = 0;
    std::uint8_t Scale = 0;
};

// One aggregate column's state in one group. Integers, dates and times are kept exactly, BCD values as
// their digits at the column's scale, floats as doubles: a sum past the column's type is found at the end,
// whatever the order of the rows, and BCD values never pass through currency's four decimals.
struct AggregateState {
    bool Seen = false;     // a non-NULL value came
    std::int64_t Count = 0;  // COUNT; AVG's count of values
    __int128 Exact = 0;    // SUM, MIN, MAX of integers and BCD digits
    double Float = 0;      // SUM, MIN, MAX of floats; AVG's sum
};

// Folds one value into the state. The value is in the column's type (for COUNT, any type); a NULL value
// changes nothing, except that COUNT(*) counts every row.
void AccumulateAggregate(const AggregateColumn& column, AggregateState& state, const engine::ExprValue& value);

// The value the column stores for the state (0 for a group without a value; an AVG column its sum), in
// its field's stored form; false when a sum does not fit the column's type.
bool AggregateResult(const AggregateColumn& column, const AggregateState& state,
                     std::array<std::uint8_t, 8>& bytes);

// The groups of one run in the order they first came, found by their key in the result table's grouping
// index (TDataFile::BuildKey): each with its record, which goes into the result table when every row is in,
// and one state per aggregate column in select-list order. Kept out of the record cache's reach, and no
// group record is read back or changed while the rows come.
class TGroupStates {
public:
    struct Group {
        std::vector<std::uint8_t> Row;  // the group's result record; zero-filled (every field NULL) at first
        std::vector<AggregateState> States;
        bool HasRows = false;  // a row was folded in
    };

    TGroupStates(std::size_t columns, std::size_t rowSize) : columns_(columns), rowSize_(rowSize) {}
    // The group of the key; a new one when the key has not come yet.
    Group& At(const std::string& key) {
        auto [entry, added] = index_.try_emplace(key, groups_.size());
        if (added) groups_.push_back({std::vector<std::uint8_t>(rowSize_), std::vector<AggregateState>(columns_)});
        return groups_[entry->second];
    }
    std::vector<Group>& Groups() noexcept { return groups_; }
    const std::vector<Group>& Groups() const noexcept { return groups_; }

private:
    std::size_t columns_;
    std::size_t rowSize_;
    std::unordered_map<std::string, std::size_t> index_;
    std::vector<Group> groups_;
};

}  // namespace sql
