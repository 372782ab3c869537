// TJoinKeyTable: the rows of a join's inner table gathered once per statement run and grouped by the value of
// the inner side of one equality of the join condition, so that each outer row finds its candidates without
// reading the inner table again. The rows are copies: the rest of the run sees them as they were gathered.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "engine/expr/ExprNode.h"

namespace engine {
class TDataFile;
}

namespace sql {

class TJoinKeyTable {
public:
    // The rows an outer value can match, in the order the table gave them. Exact: every row listed equals
    // the value under the engine's "=" and no other row does; otherwise the list holds every row, and each
    // must be tested.
    struct Candidates {
        std::span<const std::uint32_t> Rows;
        bool Exact = false;
    };

    // Reads the table's visible rows from its start in its current order (the order and the records its
    // cursor gives, its filters applied) and keys each by the inner operand, evaluated on the row as a
    // filter evaluates it. None when the rows would take more than maxBytes, or when the operand's values
    // have no key that stands for the engine's "=" on them (mixed types, decimals, a collation that is not
    // the bytes'). The table's cursor is left at its end.
    static std::unique_ptr<TJoinKeyTable> Build(engine::TDataFile& table, const engine::TExprNode& inner,
                                                std::size_t maxBytes);

    // The candidates for an outer value compared with "=" to the inner operand.
    Candidates Find(const engine::ExprValue& outer) const;
    // Row i's record image, the table's record buffer size of bytes.
    std::span<const std::uint8_t> Image(std::uint32_t row) const noexcept {
        return {images_.data() + std::size_t{row} * stride_, stride_};
    }
    std::size_t RowCount() const noexcept { return stride_ == 0 ? 0 : images_.size() / stride_; }

    // The kinds of value a key stands for. Values of two kinds never share a key; a value of kind None has
    // none.
    enum class KeyKind : std::uint8_t { None, Boolean, String, Integer, Float, Date, Time, DateTime };
    // The value's kind, and its key: two values of one kind have the same key exactly when "=" holds for
    // them. A value without a key (NaN, kind None) gives false.
    static bool MakeKey(const engine::ExprValue& value, bool byteStrings, KeyKind& kind, std::string& key);

private:
    TJoinKeyTable() = default;

    std::size_t stride_ = 0;
    std::vector<std::uint8_t> images_;
    std::vector<std::uint32_t> all_;    // every row, for an outer value no key serves
    std::vector<std::uint32_t> nulls_;  // the rows whose value is NULL: NULL = NULL holds
    // The rows that have a key, grouped by key: each group's rows lie together in rows_, in the order the
    // table gave them, and the groups are sorted by key, so that one search finds a value's rows without
    // an allocation per key.
    struct Group {
        std::string Key;
        std::uint32_t Begin = 0;
        std::uint32_t End = 0;
    };
    std::vector<std::uint32_t> rows_;
    std::vector<Group> groups_;
    KeyKind kind_ = KeyKind::None;  // the kind of every value that is not NULL; None while there is none
    bool byteStrings_ = false;      // the table compares strings byte by byte
};

}  // namespace sql
