#include "sql/PlanPredicates.h"

namespace sql {

// Unary chains run down Left, so the walk follows them without recursing; only a binary node's second
// operand takes a nested call, and trees are at most engine::MaxExprDepth levels deep.
bool ContainsColumnRef(const engine::TExprNode* node) noexcept {
    while (node != nullptr) {
        switch (node->NodeClass) {
            case engine::ncField:
                return true;
            case engine::ncUnary:
            case engine::ncFunction:
            case engine::ncPredicate:
                node = node->Left.get();
                break;
            case engine::ncBinary:
                if (ContainsColumnRef(node->Right.get())) return true;
                node = node->Left.get();
                break;
            default:
                return false;
        }
    }
    return false;
}

}  // namespace sql
