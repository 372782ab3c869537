// Tables for the table cursor's tests: five records under a primary, a two-field index in both directions
// and a non-unique index; tables whose natural order shows chosen slots; and the readers of the records a
// cursor reaches.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "engine/base/Bitmap.h"
#include "engine/base/FileBytes.h"
#include "engine/table/DataFile.h"
#include "tests/engine/support/RecordImages.h"
#include "tests/engine/support/RecordTestTable.h"
#include "tests/engine/support/StoredValues.h"
#include "tests/engine/support/TableFixture.h"

namespace enginetest {

// "t": ID (primary), GRP, NAME, NOTE. Indexes: 1 "GrpName" (GRP, NAME) unique, 2 "GrpNameDesc" the same
// descending, 3 "ByName" (NAME) non-unique. NOTE is in no key.
inline constexpr std::uint16_t CursorIdField = 1;
inline constexpr std::uint16_t CursorGroupField = 2;
inline constexpr std::uint16_t CursorNameField = 3;
inline constexpr std::uint16_t CursorNoteField = 4;

struct CursorRow {
    std::int32_t id;
    std::int32_t group;
    std::string name;
};

// In primary order: A..E as IDs 10..50.
inline const std::vector<CursorRow> FiveRows = {
    {10, 1, "alpha"}, {20, 1, "bravo"}, {30, 2, "alpha"}, {40, 2, "charlie"}, {50, 3, "bravo"}};

inline void CreateCursorTable(const std::string& name, bool noPrimary = false, bool isProtected = false) {
    std::vector<engine::TFieldDesc> fields = {FieldDef(CursorIdField, "ID", engine::FieldTypeInteger),
                                              FieldDef(CursorGroupField, "GRP", engine::FieldTypeInteger),
                                              FieldDef(CursorNameField, "NAME", engine::FieldTypeString, 20),
                                              FieldDef(CursorNoteField, "NOTE", engine::FieldTypeString, 20)};
    engine::TIndexDescriptor descending = IndexDef("GrpNameDesc", {CursorGroupField, CursorNameField}, true);
    descending.Descending = 1;
    std::vector<engine::TIndexDescriptor> indexes = {
        noPrimary ? IndexDef("", {}) : IndexDef("", {CursorIdField}),
        IndexDef("GrpName", {CursorGroupField, CursorNameField}, true), descending,
        IndexDef("ByName", {CursorNameField})};
    TableOptions options;
    options.allowNoPrimary = noPrimary;
    options.isProtected = isProtected;
    if (isProtected) options.password = "Sesame";
    CreateTable(name, fields, indexes, options);
}

inline engine::SlotNumber AddRow(engine::TDataFile& table, const CursorRow& row) {
    return Insert(table, {{CursorIdField, I32(row.id)},
                          {CursorGroupField, I32(row.group)},
                          {CursorNameField, Str(row.name)},
                          {CursorNoteField, Str("note")}});
}

// Fills a closed table through an exclusive handle.
inline void FillCursorTable(const std::string& name, const std::vector<CursorRow>& rows) {
    engine::TDataFile table;
    table.SetFileName(name);
    table.SetExclusive(true);
    table.Open();
    for (const CursorRow& row : rows) AddRow(table, row);
}

// A record image of the values (a search or range source).
inline std::vector<std::uint8_t> RowImage(engine::TDataFile& table, std::int32_t id, std::int32_t group,
                                          const std::string& name) {
    std::vector<std::uint8_t> image(table.GetRecordBufferSize(), 0);
    SetStored(table, image, CursorIdField, I32(id));
    SetStored(table, image, CursorGroupField, I32(group));
    SetStored(table, image, CursorNameField, Str(name));
    return image;
}

inline std::int32_t IdOf(const engine::TDataFile& table, std::span<const std::uint8_t> image) {
    std::vector<std::uint8_t> value(4, 0);
    if (table.GetField(false, CursorIdField, image, value)) return 0;
    return static_cast<std::int32_t>(engine::LoadU32(value.data()));
}

// The ID of the current record (0 without one).
inline std::int32_t CurrentId(engine::TDataFile& table) {
    const std::span<const std::uint8_t> image = table.GetCurrentRecordImage();
    return image.empty() ? 0 : IdOf(table, image);
}

inline std::string CurrentNote(engine::TDataFile& table) {
    return StoredText(table, table.GetCurrentRecordImage(), CursorNoteField);
}

// The IDs from the beginning to the end through GetNextRecord.
inline std::vector<std::int32_t> WalkIds(engine::TDataFile& table) {
    std::vector<std::int32_t> ids;
    std::vector<std::uint8_t> image(table.GetRecordBufferSize());
    table.SetToBegin();
    while (table.GetNextRecord(image) == 0) ids.push_back(IdOf(table, image));
    return ids;
}

// The visible-record bitmap of a table of h slots showing the slots given.
inline std::vector<std::uint8_t> VisibleSlots(std::uint32_t h, const std::vector<std::uint32_t>& slots) {
    std::vector<std::uint8_t> bits(h / 8 + 1, 0);
    for (const std::uint32_t slot : slots) engine::BitmapSetBit(slot, bits.data());
    return bits;
}

inline std::vector<std::uint8_t> SlotBookmark(std::uint32_t slot) {
    std::vector<std::uint8_t> bookmark(4);
    engine::StoreU32(bookmark.data(), slot);
    return bookmark;
}

inline void OpenTable(engine::TDataFile& table, const std::string& name, bool exclusive = false,
                      bool strict = false) {
    table.SetFileName(name);
    table.SetExclusive(exclusive);
    table.SetStrictChangeDetection(strict);
    table.Open();
}

// "np" (no primary index) and "t" (a primary index), ten records each, IDs 10..100 in slots 1..10.
inline void CreateNaturalTables() {
    std::vector<CursorRow> rows;
    for (std::int32_t i = 1; i <= 10; ++i) rows.push_back({i * 10, i, "n" + std::to_string(i)});
    CreateCursorTable("np", true);
    FillCursorTable("np", rows);
    CreateCursorTable("t");
    FillCursorTable("t", rows);
}

// Opens "np" or "t" in natural order (index 0 of "np", index 255 of "t") showing slots 2, 5 and 9.
inline void OpenNatural(engine::TDataFile& table, const std::string& name) {
    OpenTable(table, name);
    if (name == "t") table.SetIndexNumber(engine::NaturalOrderIndex);
    table.IndexFile().SetVisibleRecords(VisibleSlots(10, {2, 5, 9}), false);
}

// Shared changes of another handle under one hold of its write locks; each is written as it is made.
template <class Change>
void WriteShared(engine::TDataFile& writer, Change change) {
    writer.BeginWrite();
    change();
    writer.EndWrite();
}

// Sets slot n's NOTE (NOTE is in no key).
inline void SetNote(engine::TDataFile& writer, std::uint32_t slot, const std::string& note) {
    GoToSlot(writer, engine::SlotNumber(slot));
    const std::span<const std::uint8_t> current = writer.GetCurrentRecordImage();
    std::vector<std::uint8_t> image(current.begin(), current.end());
    SetStored(writer, image, CursorNoteField, Str(note));
    writer.ModifyRecord(image, false, true);
}

}  // namespace enginetest
