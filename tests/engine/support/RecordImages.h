// Records for engine tests through the table's own changes: a new record image filled field by field,
// inserted with InsertRecord, a slot made the current record for ModifyRecord and DeleteRecord, and a
// large-object value read back.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "engine/base/EngineError.h"
#include "engine/blob/BlobBuffer.h"
#include "engine/index/IndexKey.h"
#include "engine/table/DataFile.h"
#include "engine/table/ReadGuard.h"
#include "engine/table/Record.h"
#include "tests/engine/support/StoredValues.h"

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

// The value of a large-object field of a record image, read through a value opened on a copy of it and
// closed again (a failing code raises).
inline std::string ReadBlobValue(engine::TDataFile& table, std::uint16_t field,
                                 std::span<const std::uint8_t> record) {
    std::vector<std::uint8_t> image(record.begin(), record.end());
    engine::CheckEngineResult(table.OpenBlob(false, field, engine::BlobOpenRead, image));
    std::int32_t size = 0;
    engine::CheckEngineResult(table.GetBlobSize(false, field, size, image));
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    std::int32_t read = 0;
    if (size > 0) engine::CheckEngineResult(table.ReadBlob(false, field, read, size, bytes, 0, image));
    engine::CheckEngineResult(table.CloseBlob(false, field, image));
    return std::string(bytes.begin(), bytes.end());
}

// What every other program sees of the table: for indexes 0 and 1, the index's records in its order, each
// described by the function, opened through a shared handle of its own.
inline std::string IndexContents(
    const std::string& name,
    const std::function<std::string(engine::TDataFile&, std::span<const std::uint8_t>)>& describe) {
    engine::TDataFile table;
    table.SetFileName(name);
    table.Open();
    std::string text;
    std::vector<std::uint8_t> image(table.GetRecordBufferSize());
    for (const int index : {0, 1}) {
        table.SetIndexNumber(index);
        table.SetToBegin();
        text += "index " + std::to_string(index) + " (" + std::to_string(table.GetRecordCount()) + "):";
        while (table.GetNextRecord(image) == 0) text += " " + describe(table, image);
        text += "\n";
    }
    return text;
}

inline void DeleteSlot(engine::TDataFile& table, engine::SlotNumber slot) {
    GoToSlot(table, slot);
    table.DeleteRecord(true);
}

}  // namespace enginetest
