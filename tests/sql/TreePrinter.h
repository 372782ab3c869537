// Prints an expression tree on one line, so that SQL tests state and compare tree shapes as text.
#pragma once

#include <string>

#include "engine/expr/ExprNode.h"

namespace sqltest {

// (Class/operator/FieldType "Text" [null] [param] Left Right [Items ...]) with the class by name (Unary,
// Binary, Compare, Field, Constant, Function, Predicate, else its code). Left and Right are printed when
// either exists, a missing one as _; the items follow in brackets when there are any. Null prints as _.
//   10 - 5  ->  (Binary/18/6 "-" (Constant/0/6 "10") (Constant/0/6 "5"))
std::string PrintTree(const engine::TExprNode* node);

}  // namespace sqltest
