// TCompiledExpression: what a calculated field's descriptor refers to at run time.
#pragma once

namespace engine {

// The compiled tree of a calculated field as the record layer sees it: an identity, nothing it could read.
// The expression layer's nodes derive from it; the table, which knows both layers, evaluates it as a tree.
struct TCompiledExpression {};

}  // namespace engine
