// CheckIndexTrees: tarnis-check's walk of every index's counted B+-tree and free list in a table's index
// file, and of their entries against the record file's slots.
#pragma once

#include <string_view>

#include "tools/tarnis-check/IndexFileCheck.h"
#include "tools/tarnis-check/TableCheck.h"

namespace tarnischeck {

// Reads the pages straight from the file (shared, read-only, without locks), decodes them with the page
// codec and orders keys as the index does. Errors: a page off the grid; a page reached twice (two parents,
// two indexes, a cycle) or in a tree and on a free list; a wrong type for its place, leaves at different
// depths; an empty page in a tree; keys not strictly increasing in a page and along each level; a node entry
// whose key is not the child's first key or whose count is not the child's key total; sibling links off the
// level's order; a free-list page with entries. With matchRecords also a tree total other than the header's
// live record count (the "Sys Deleted" tree of a table with a primary index: the slot count), an entry that
// names no live slot (any slot for "Sys Deleted") or does not hold its slot's key, and a live slot without
// exactly one entry. Warnings: pages below half their capacity, pages in no tree and on no free list.
void CheckIndexTrees(TableCheck& check, const IndexHeaderImage& image, bool matchRecords);

// The record file's checks, then the index file's header checks and its walk without the record file's
// slots: for an index file whose keys stand for no records.
TableCheck CheckIndexFileAlone(std::string_view tableName);

}  // namespace tarnischeck
