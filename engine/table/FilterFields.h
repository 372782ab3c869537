// BuildFilterTree: a filter blob read into a tree over its table's fields, calculated ones included.
#pragma once

#include <cstdint>
#include <memory>
#include <span>

namespace engine {

class TDataFile;
struct TExprNode;

// Names resolve in the physical field set, the numbering by which filters read records. A name that only a
// calculated field of the working set has stands for a copy of that field's compiled tree, whose columns are
// physical fields: the filter keeps a record by the value the table computes for it. Null for a blob that
// does not read (as BuildExpressionTree).
std::unique_ptr<TExprNode> BuildFilterTree(const TDataFile& table, std::span<const std::uint8_t> blob);

}  // namespace engine
