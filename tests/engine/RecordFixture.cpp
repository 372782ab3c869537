#include "RecordFixture.h"

#include <stdexcept>
#include <string>

#include "engine/EngineError.h"
#include "engine/IndexFile.h"
#include "engine/IndexKey.h"
#include "engine/Record.h"

namespace enginetest {

namespace {

// Every index the table keeps keys in, index 31 last; the current one is selected again afterwards.
template <class Action>
void ForEachIndex(engine::TDataFile& table, Action action) {
    engine::TIndexFile& index = table.IndexFile();
    const std::uint8_t current = index.CurrentIndex();
    const bool primary = !index.HasNoPrimaryIndex();
    for (int n = primary ? 0 : 1; n <= index.GetIndexCount(); ++n) {
        index.SelectIndex(n);
        action(index, false);
    }
    if (primary) {
        index.SelectIndex(engine::SysDeletedSlot);
        action(index, true);
    }
    index.SelectIndex(current);
}

engine::RecordPin Fetch(engine::TDataFile& table, engine::SlotNumber slot) {
    engine::RecordPin record;
    if (!table.GetRecord(slot, false, false, engine::ReadForward, record) || !record) {
        throw std::runtime_error("record fixture: slot " + std::to_string(slot.Value) + " not read");
    }
    return record;
}

}  // namespace

engine::SlotNumber AddRecord(engine::TDataFile& table, const FieldValues& values) {
    const engine::SlotNumber reused = table.NextFreeSlot();
    // A reused slot of a table with a primary index still has its "Sys Deleted" key.
    engine::TIndexKey oldPhysical;
    const bool hadKey =
        !table.IndexFile().HasNoPrimaryIndex() && reused.Value <= table.GetPhysicalRecordCount();
    if (hadKey) {
        engine::RecordPin old = Fetch(table, reused);
        table.BuildPhysicalKey(old->Image(), oldPhysical, old->Image());
    }
    engine::RecordPin record = table.TakeFreeSlot();
    record->Clear(false);
    const std::span<std::uint8_t> image = record->Image();
    table.SetRecordId(image, table.NextAutoInc());
    for (const auto& [field, value] : values) {
        table.SetField(false, field, image, std::span<const std::uint8_t>(value));
    }
    engine::TIndexKey key;
    ForEachIndex(table, [&](engine::TIndexFile& index, bool physical) {
        if (physical) {
            if (hadKey) index.DeleteKey(oldPhysical.View());
            table.BuildPhysicalKey(image, key, image);
        } else {
            table.BuildKey(image, key);
        }
        index.InsertKey(key.View(), record->RecordNumber());
    });
    table.IndexFile().IncRecordCount();
    return record->RecordNumber();
}

void DeleteRecord(engine::TDataFile& table, engine::SlotNumber slot) {
    engine::RecordPin record = Fetch(table, slot);
    const std::span<std::uint8_t> image = record->Image();
    engine::TIndexKey key;
    ForEachIndex(table, [&](engine::TIndexFile& index, bool physical) {
        if (physical) {
            table.BuildPhysicalKey(image, key, image);
        } else {
            table.BuildKey(image, key);
        }
        index.DeleteKey(key.View());
    });
    table.FreeSlot(*record);
    if (!table.IndexFile().HasNoPrimaryIndex()) {
        engine::TIndexFile& index = table.IndexFile();
        const std::uint8_t current = index.CurrentIndex();
        index.SelectIndex(engine::SysDeletedSlot);
        table.BuildPhysicalKey(image, key, image);
        index.InsertKey(key.View(), slot);
        index.SelectIndex(current);
    }
    table.IndexFile().DecRecordCount();
}

void FlushChanges(engine::TDataFile& table) {
    table.UnpinAll();
    table.FlushBuffers(false, true, true);
    table.PinCurrentRecord();
}

}  // namespace enginetest
