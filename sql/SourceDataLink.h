// TSourceDataLink: one join link from an outer source table to an inner one, which the planner builds and
// the nested-loop join follows.
#pragma once

#include <cstdint>
#include <memory>

#include "engine/expr/ExprNode.h"

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
    explicit TSourceDataLink(TSourceDataFile* owner) noexcept : Owner(owner) {}

    TSourceDataFile* Owner;                        // the outer table
    std::uint8_t JoinType = jkNone;                // jkNone (unconditional), jkInner or jkLeftOuter
    TSourceDataFile* Target = nullptr;             // the inner table
    std::unique_ptr<engine::TExprNode> Condition;  // null on an unconditional link
    std::uint32_t FilterHandle = 0;                // the filter the link keeps on the inner table; 0 none
    bool Matched = false;  // the inner table gave a row (or the unmatched row) for the outer row
};

}  // namespace sql
