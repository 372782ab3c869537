// Prints a parsed statement's model as text, so that statement tests state and compare whole models.
#pragma once

#include <string>

#include "engine/expr/ExprNode.h"
#include "sql/DataQuery.h"

namespace sqltest {

// One line per part, in this order, each present only when there is something to show:
//   SELECT live distinct ... into=name encrypted=password    the kind and the flags that are set
//   source #2 pos 2 join 3 "dir/b" as "b" memory               each table in list order
//   column agg 1 expr "SUM(a * 2)" name "t"."a" result "r"    each select-list column
//   target "t"."a" fromstring                                  each INSERT or SET target
//   value "a + 1"                                              each value as written
//   group "t"."a" / group #2, order ... desc                   the GROUP BY and ORDER BY items
//   where <tree>                                               the condition tree (PrintCondition)
//   params value1 where/R/I0 ...                               each parameter's place (below)
// A parameter's place is the tree that holds it (value1, value2, ..., where) and the path to it: L and R for
// Left and Right, I0, I1, ... for the items.
std::string PrintModel(const sql::TDataQuery& query);

// A tree compactly: a leaf as its text (string constants in quotes), any other node as its text and its
// operands in brackets (Left, Right, then the items). A node's JoinKind shows as #kind after its text, its
// ClausePosition as @position where it differs from its parent's (the root's parent counting as 0).
//   a.x = b.x AND b.y = 1, read in an ON of table 2  ->  AND@2(=#1(a.x, b.x), =(b.y, 1))
std::string PrintCondition(const engine::TExprNode* node);

}  // namespace sqltest
