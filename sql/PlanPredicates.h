// Questions the statement parser and the planner ask of condition trees.
#pragma once

#include "engine/expr/ExprNode.h"

namespace sql {

// True for a column node; for a unary, function or predicate node, the answer for its first operand (Left);
// for a binary node, whether either operand has one; false for everything else, null included.
bool ContainsColumnRef(const engine::TExprNode* node) noexcept;

}  // namespace sql
