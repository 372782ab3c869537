// CheckIndexFile: tarnis-check's checks of a table's index file (".IDX"): its header and index descriptors.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "engine/index/IndexFileHeader.h"
#include "tools/tarnis-check/TableCheck.h"

namespace tarnischeck {

// The index file's header page as stored, unscrambled for a protected table.
struct IndexHeaderImage {
    std::array<std::uint8_t, engine::IndexHeaderSize> Bytes{};
    engine::TIndexFileHeader Header;
    // No descriptor's name length byte passes its room.
    bool NamesFit = true;
    std::int64_t FileSize = 0;
};

// Reads the header page shared and read-only, without locks, unscrambled when the record file's header says
// the table is protected. None when the file is missing, cannot be opened or is shorter than a page.
std::optional<IndexHeaderImage> ReadIndexHeader(TableCheck& check);

// Checks the header and the descriptors against the record file's facts, which must be filled first: a
// missing or short index file is an error; so is everything a correct engine never writes (a header the
// engine's open would refuse, unusable secondary index names, large-object key fields, a no-primary-index
// flag that disagrees with index 0, a "Sys Deleted" slot other than the engine writes, a live record count
// other than the record file's active slots). A file size other than the end of file, key lengths in slots
// beyond the secondary count and nonzero unused bytes are warnings. A header without errors is followed by
// the walk of every tree and free list (IndexTreeCheck.h), with the entries matched against the slots.
void CheckIndexFile(TableCheck& check);
// The same with a walk that leaves the slots alone.
void CheckIndexFileWithoutRecords(TableCheck& check);

}  // namespace tarnischeck
