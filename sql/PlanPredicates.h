// Questions the statement parser and the planner ask of condition trees.
#pragma once

#include <memory>
#include <vector>

#include "engine/expr/ExprNode.h"

namespace sql {

class TDataQuery;
class TSourceDataFile;

// True for a column node; for a unary, function or predicate node, the answer for its first operand (Left);
// for a binary node, whether either operand has one; false for everything else, null included.
bool ContainsColumnRef(const engine::TExprNode* node) noexcept;

// The one table the tree refers to, in `table` (null when it names none), and false; true when it refers to
// more than one. Every operand counts: both sides of binary nodes, the first operand and the items of
// functions and predicates. A column not yet bound is resolved first (FindSourceField), which fills its
// SourceTable, FieldNo and Correlation; one that no table has raises 11949 naming its correlation name.
bool SingleTableOfExpr(TDataQuery& query, engine::TExprNode* node, TSourceDataFile*& table);
// Every table the tree refers to, appended once each in the order met.
void TablesOfExpr(TDataQuery& query, engine::TExprNode* node, std::vector<TSourceDataFile*>& tables);
// True for an OR node; for NOT the negation of the answer for its operand; false otherwise.
bool IsDisjunction(const engine::TExprNode* node) noexcept;
// Walks up through binary parents: true when the first unary ancestor is a NOT.
bool IsUnderNot(const engine::TExprNode* node) noexcept;
// A comparison (= to <=) between two tables, reached from the root through unary nodes, AND and OR.
bool HasJoinComparison(TDataQuery& query, engine::TExprNode* node);
// A boolean AND over the two trees (left, right), which it owns and whose Parent it becomes.
std::unique_ptr<engine::TExprNode> MakeAndNode(std::unique_ptr<engine::TExprNode> left,
                                               std::unique_ptr<engine::TExprNode> right);
// = <> > < >= <= as a binary node.
bool IsComparison(const engine::TExprNode* node) noexcept;

}  // namespace sql
