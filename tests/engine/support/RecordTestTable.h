// Tables for record-cache tests: record files of a chosen record size, and a table handle that records the
// reads and writes of its record file.
#pragma once

#include <algorithm>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "engine/blob/BlobBuffer.h"
#include "engine/index/IndexKey.h"
#include "engine/table/DataFile.h"
#include "tests/engine/support/BlobTestTable.h"
#include "tests/engine/support/RawTableFile.h"
#include "tests/engine/support/RecordingFile.h"
#include "tests/engine/support/StoredValues.h"
#include "tests/engine/support/TableFixture.h"

namespace enginetest {

// A table handle whose record file records its reads and writes.
using RecordingDataFile = RecordingFile<engine::TDataFile>;

// Fields of a record of the size (at least 14, and not 15 or 16): the integer "ID", then strings "S1", "S2",
// ... of at most 250 characters filling the rest.
inline std::vector<engine::TFieldDesc> SizedFields(std::uint32_t recordSize) {
    std::vector<engine::TFieldDesc> fields = {FieldDef(1, "ID", engine::FieldTypeInteger)};
    // The record header takes 9 bytes, the integer 5; a string of size n takes n + 2.
    std::uint32_t rest = recordSize - 14;
    while (rest > 0) {
        std::uint32_t chunk = std::min<std::uint32_t>(rest, 252);
        if (rest - chunk > 0 && rest - chunk < 3) chunk -= 3;
        const auto number = static_cast<std::uint16_t>(fields.size() + 1);
        fields.push_back(FieldDef(number, "S" + std::to_string(number - 1), engine::FieldTypeString,
                                  static_cast<std::uint8_t>(chunk - 2)));
        rest -= chunk;
    }
    return fields;
}

// A table of records of the size with a primary index on "ID" and the slots appended, active, each with its
// slot number as ID and record ID (AppendActiveSlots).
inline void CreateSizedTable(const std::string& name, std::uint32_t recordSize, int slots) {
    std::vector<engine::TFieldDesc> fields = SizedFields(recordSize);
    std::vector<engine::TIndexDescriptor> indexes = {IndexDef("", {1})};
    CreateTable(name, fields, indexes);
    if (slots > 0) AppendActiveSlots(name + ".DAT", slots);
}

// Where slot n lies in a record file of the field count and record size.
inline std::int64_t SlotOffset(std::uint32_t fieldCount, std::uint32_t recordSize, std::uint32_t slot) {
    return 127 + 768 * static_cast<std::int64_t>(fieldCount) +
           (slot - 1) * static_cast<std::int64_t>(recordSize);
}

inline std::int64_t SlotOffset(const engine::TDataFile& table, std::uint32_t slot) {
    return SlotOffset(table.GetPhysicalFieldCount(), table.GetRecordSize(), slot);
}

// A table with every kind of file: "ID" (the primary index), "NAME" (the secondary index "ByName"), "NOTE"
// (no index) and the large object "MEMO".
inline constexpr std::uint16_t MemoIdField = 1;
inline constexpr std::uint16_t MemoNameField = 2;
inline constexpr std::uint16_t MemoNoteField = 3;
inline constexpr std::uint16_t MemoField = 4;

inline void CreateMemoTable(const std::string& name, const TableOptions& options = {}) {
    std::vector<engine::TFieldDesc> fields = {FieldDef(MemoIdField, "ID", engine::FieldTypeInteger),
                                              FieldDef(MemoNameField, "NAME", engine::FieldTypeString, 20),
                                              FieldDef(MemoNoteField, "NOTE", engine::FieldTypeString, 30),
                                              FieldDef(MemoField, "MEMO", engine::FieldTypeBlob)};
    std::vector<engine::TIndexDescriptor> indexes = {IndexDef("", {MemoIdField}),
                                                     IndexDef("ByName", {MemoNameField})};
    CreateTable(name, fields, indexes, options);
}

inline void SetStored(engine::TDataFile& table, std::span<std::uint8_t> image, std::uint16_t field,
                      const Bytes& value) {
    table.SetField(false, field, image, std::span<const std::uint8_t>(value));
}

// Adds a record to an open memo table the way the record layer does, writing nothing: a slot taken, its image
// filled with a new record ID, the memo saved as a chain of the slot, the keys in every index and in "Sys
// Deleted", the live count raised. Answers the slot.
inline engine::SlotNumber AddRecordByHand(engine::TDataFile& table, std::int32_t id, const std::string& name,
                                          const std::string& memo) {
    engine::RecordPin record = table.TakeFreeSlot();
    record->Clear(true);
    const std::span<std::uint8_t> image = record->Image();
    SetStored(table, image, MemoIdField, I32(id));
    SetStored(table, image, MemoNameField, Str(name));
    if (!memo.empty()) {
        engine::TBlobBuffer value(table.BlobFile(), record->RecordNumber(), MemoField, engine::BlockOffset{},
                                  engine::BlobOpenReadWrite);
        Fill(value, memo);
        value.SaveChain();
        SetStored(table, image, MemoField, I32(static_cast<std::int32_t>(value.FirstBlock().Value)));
    }
    engine::TIndexFile& index = table.IndexFile();
    engine::TIndexKey key;
    for (int n = 0; n <= index.GetIndexCount(); ++n) {
        index.SelectIndex(n);
        table.BuildKey(image, key);
        index.InsertKey(key.View(), record->RecordNumber());
    }
    index.SelectIndex(engine::SysDeletedSlot);
    table.BuildPhysicalKey(image, key, image);
    index.InsertKey(key.View(), record->RecordNumber());
    index.SelectIndex(engine::PrimaryIndexSlot);
    index.IncRecordCount();
    return record->RecordNumber();
}

// A memo table of nine records appended as AppendActiveSlots makes them and a tenth, "ten", with the memo,
// added by hand and written by an exclusive close.
inline void CreateTenRecordMemoTable(const std::string& name, const std::string& memo) {
    CreateMemoTable(name);
    AppendActiveSlots(name + ".DAT", 9);
    engine::TDataFile table;
    table.SetFileName(name);
    table.SetExclusive(true);
    table.Open();
    AddRecordByHand(table, 10, "ten", memo);
}

// A string field's value in an image.
inline std::string StoredText(const engine::TDataFile& table, std::span<const std::uint8_t> image,
                              std::uint16_t field) {
    std::vector<std::uint8_t> value(252, 0);
    table.GetField(false, field, image, value);
    return std::string(reinterpret_cast<const char*>(value.data()));
}

}  // namespace enginetest
