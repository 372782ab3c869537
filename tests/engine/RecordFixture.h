// Records added to and deleted from an open table through the layers a record change is built from (slot,
// fields, record ID, keys, live count), so that the tables tests write this way pass tarnis-check. Until the
// record changes exist, tests that need real records use these.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "StoredValues.h"
#include "engine/DataFile.h"

namespace enginetest {

// Stored field values by physical field number; fields not named stay blank.
using FieldValues = std::vector<std::pair<std::uint16_t, Bytes>>;

// Takes a free slot, fills a new record (a new record ID, the values), inserts its key into every index
// (and its "Sys Deleted" key into index 31 when the table has a primary index) and raises the live count.
// The current index stays. Answers the slot.
engine::SlotNumber AddRecord(engine::TDataFile& table, const FieldValues& values);
// Deletes every key of the active record in the slot, marks it deleted on the free-slot chain (its "Sys
// Deleted" key following) and lowers the live count.
void DeleteRecord(engine::TDataFile& table, engine::SlotNumber slot);
// Writes what the table changed, every header forced, as a shared change does before it lets go.
void FlushChanges(engine::TDataFile& table);

}  // namespace enginetest
