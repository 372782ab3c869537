// TSourceDataLink: one join link from an outer source table to an inner one, which the planner builds and
// the nested-loop join follows.
#pragma once

#include <cstdint>
#include <memory>

#include "engine/expr/ExprNode.h"
#include "sql/JoinKeyTable.h"

namespace engine {
class TFilter;
}

namespace sql {

class TSourceDataFile;

// Join kinds, as the parser stamps them on ON comparisons (TExprNode::JoinKind) and on the tables a join
// reads (TSourceDataFile::JoinKind). A link's JoinType is 0, 1 or 2: the parser has already put a right
// join's table first, so the planner links it as a left outer join.
enum : std::uint8_t {
    jkNone = 0,        // WHERE, the first table, or a table after a comma; a link without a condition
    jkInner = 1,       // JOIN, INNER JOIN
    jkLeftOuter = 2,   // LEFT [OUTER] JOIN
    jkRightOuter = 3,  // RIGHT [OUTER] JOIN
};

struct TSourceDataLink {
    // A link leaves its filter to the inner table when freed: the table owns it and closes with it.
    explicit TSourceDataLink(TSourceDataFile* owner) noexcept : Owner(owner) {}
    TSourceDataLink(const TSourceDataLink&) = delete;
    TSourceDataLink& operator=(const TSourceDataLink&) = delete;

    // Null does nothing; an unconditional link takes the type and the condition; otherwise the condition
    // is ANDed to the right of the one the link has.
    void AddCondition(std::uint8_t joinType, std::unique_ptr<engine::TExprNode> condition);
    // The inner table's filter for the outer table's current row (its RecordBuffer): added, built only from
    // the records that pass the inner table's earlier filters, and activated; or, when the link has one, its
    // condition replaced. Engine failures raise.
    void SetFilter();
    // Drops the link's filter from the inner table, when it has one; the handle is cleared first. The link
    // forgets its key table too, and the inner table reads its own records again: each run gathers its rows
    // anew.
    void ClearFilter();
    // Gives the inner table its rows for the outer table's current row: those of its filter (SetFilter), or,
    // for a condition with an equality on the inner side, those the key table finds (the same rows in the
    // same order). The key table is built when the filter is not served by an index, or once the link has
    // been positioned so often that filtering costs more than reading the inner table once.
    void PositionTarget();
    // Frees the key table once a run is over, and the inner table reads its own records again; the choice
    // between filter and key table is made anew by the next run.
    void ReleaseKeyTable() noexcept;
    // The inner filter's condition for the outer table's current row: each comparison of the link as the
    // inner table's operand compared with the outer row's value (a constant, in the inner operand's type
    // where that is exact); any other part, which names no table of the inner side, becomes its truth value
    // on the outer row.
    std::unique_ptr<engine::TExprNode> CopyExprForLink(const engine::TExprNode& condition) const;

    TSourceDataFile* Owner;                        // the outer table
    std::uint8_t JoinType = jkNone;                // jkNone (unconditional), jkInner or jkLeftOuter
    TSourceDataFile* Target = nullptr;             // the inner table
    std::unique_ptr<engine::TExprNode> Condition;  // null on an unconditional link
    // The filter the link keeps on the inner table; null when none. The table owns it: whoever drops the
    // table's filters clears this first.
    engine::TFilter* FilterHandle = nullptr;
    bool Matched = false;  // the inner table gave a row (or the unmatched row) for the outer row

private:
    // Drops the filter alone.
    void DropFilter();
    // The key table for this run, when it is wanted and can be built; false otherwise.
    bool UseKeyTable();

    // This run's choice between the filter and the key table.
    const engine::TExprNode* keyEquality_ = nullptr;  // the equality of Condition that keys the rows
    bool keysRefused_ = false;                       // no key table in this run
    bool planned_ = false;                           // keyEquality_ looked for
    std::int64_t innerRows_ = 0;                     // the inner table's rows when the run began
    std::int64_t filterBuilds_ = 0;                  // SetFilter calls in this run
    std::unique_ptr<TJoinKeyTable> keys_;
};

}  // namespace sql
