// Prints an expression tree on one line, so that SQL tests state and compare tree shapes as text.
#pragma once

#include <string>

#include "engine/expr/ExprNode.h"

namespace sqltest {

// (Class/operator/FieldType "Text" [null] [param] Left Right [Items ...]) with the class by name (Unary,
// Binary, Compare, Field, Constant, Function, Predicate, else its code). Left is printed when either link is
// set (a missing Left as _), Right when it is set; the items follow in brackets when there are any.
//   10 - 5  ->  (Binary/18/6 "-" (Constant/0/6 "10") (Constant/0/6 "5"))
std::string PrintTree(const engine::TExprNode* node);

}  // namespace sqltest
