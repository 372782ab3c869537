// Records for engine tests through the table's own changes: a new record image filled field by field,
// inserted with InsertRecord, and a slot made the current record for ModifyRecord and DeleteRecord.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "StoredValues.h"
#include "engine/DataFile.h"
#include "engine/IndexKey.h"
#include "engine/ReadGuard.h"
#include "engine/Record.h"

namespace enginetest {

// Stored field values by physical field number; fields not named stay as InitRecord leaves them.
using FieldValues = std::vector<std::pair<std::uint16_t, Bytes>>;

// A new record image (InitRecord) with the values stored.
inline std::vector<std::uint8_t> NewImage(engine::TDataFile& table, const FieldValues& values) {
    std::vector<std::uint8_t> image(table.GetRecordBufferSize());
    table.InitRecord(image);
    for (const auto& [field, value] : values) {
        table.SetField(false, field, image, std::span<const std::uint8_t>(value));
    }
    return image;
}

// Inserts a record of the values and answers its slot.
inline engine::SlotNumber Insert(engine::TDataFile& table, const FieldValues& values) {
    std::vector<std::uint8_t> image = NewImage(table, values);
    table.InsertRecord(image, true);
    return table.CurrentRecord()->RecordNumber();
}

// Makes the active record in the slot current, the cursor on its key outside natural order.
inline void GoToSlot(engine::TDataFile& table, engine::SlotNumber slot) {
    engine::TReadGuard read(table);
    // Another program's changes are looked for first: a cached copy of the slot may be stale.
    read.Begin();
    engine::RecordPin record;
    // A read that meets another program's change has dropped the caches: it runs again.
    if (!table.GetRecord(slot, false, false, engine::ReadForward, record) &&
        !table.GetRecord(slot, false, false, engine::ReadForward, record)) {
        throw std::runtime_error("slot " + std::to_string(slot.Value) + " not read");
    }
    engine::TIndexFile& index = table.IndexFile();
    if (!index.NaturalOrder()) {
        engine::TIndexKey key;
        table.BuildKey(record->Image(), key);
        index.FindKey(key.View(), false, false, key.Length);
    }
    table.SetCurrentRecord(std::move(record));
    read.End();
}

inline void DeleteSlot(engine::TDataFile& table, engine::SlotNumber slot) {
    GoToSlot(table, slot);
    table.DeleteRecord(true);
}

}  // namespace enginetest
