#include "engine/table/Record.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/base/EngineErrorCodes.h"
#include "engine/base/EngineState.h"
#include "engine/base/FileSession.h"
#include "engine/records/RecordHeader.h"
#include "engine/table/DataFile.h"
#include "engine/table/ReadGuard.h"
#include "tests/engine/support/RawTableFile.h"
#include "tests/engine/support/RecordTestTable.h"
#include "tests/engine/support/TableFixture.h"

namespace {

namespace fs = std::filesystem;
using namespace enginetest;
using engine::RecordPin;
using engine::SlotNumber;

using RecordTest = TableTest;

RecordPin Fetch(engine::TDataFile& table, std::uint32_t slot) {
    RecordPin record;
    EXPECT_TRUE(table.GetRecord(SlotNumber(slot), false, false, engine::ReadForward, record)) << slot;
    return record;
}

TEST_F(RecordTest, ALoadedSlotTakesItsOwnNumberOnlyWhileActive) {
    fs::create_directory("crafted");
    CreateSizedTable("crafted/t", 100, 0);
    // An active slot whose link names another slot, and a deleted one linked to slot 1.
    AppendSlots("crafted/t.DAT",
                {SlotImage(100, engine::RecordActive, 99, 1), SlotImage(100, engine::RecordDeleted, 1, 2)});
    engine::TDataFile table;
    table.SetFileName("crafted/t");
    table.SetExclusive(true);
    table.Open();
    RecordPin active = Fetch(table, 1);
    EXPECT_EQ(active->Link().Value, 1u);
    EXPECT_FALSE(active->Dirty());
    RecordPin deleted = Fetch(table, 2);
    EXPECT_EQ(deleted->Status(), engine::RecordDeleted);
    EXPECT_EQ(deleted->Link().Value, 1u);
    EXPECT_EQ(deleted->Id().Value, 2u);
}

// The copied fields stand for no keys: the table lives apart from the clean check.
TEST_F(RecordTest, SettersMarkTheImageDirtyOnlyWhenTheyChangeIt) {
    fs::create_directory("crafted");
    CreateSizedTable("crafted/t", 100, 2);
    engine::TDataFile table;
    table.SetFileName("crafted/t");
    table.SetExclusive(true);
    table.Open();
    RecordPin record = Fetch(table, 2);
    record->SetStatus(engine::RecordActive);
    record->SetLink(SlotNumber(2));
    record->SetId(engine::RecordId(2));
    EXPECT_FALSE(record->Dirty());
    record->SetId(engine::RecordId(7));
    EXPECT_TRUE(record->Dirty());
    EXPECT_EQ(record->Id().Value, 7u);
    record->SetId(engine::RecordId(2));
    record->MarkClean();

    // Copying fields keeps the record header and needs a whole image.
    std::vector<std::uint8_t> image(table.GetRecordBufferSize(), 0);
    image[engine::RecordStatusOffset] = engine::RecordDeleted;
    SetStored(table, image, 2, Str("copied"));
    record->SetCalculated(true);
    record->CopyFields(image);
    EXPECT_EQ(record->Status(), engine::RecordActive);
    EXPECT_EQ(record->Id().Value, 2u);
    EXPECT_EQ(StoredText(table, record->Image(), 2), "copied");
    EXPECT_TRUE(record->Dirty());
    EXPECT_FALSE(record->Calculated());
    image.pop_back();
    EXPECT_EQ(EngineCode([&] { record->CopyFields(image); }), engine::ErrRecordBuffersCorrupt);
}

TEST_F(RecordTest, AProtectedTablesSlotsAreScrambledOnDiskOnly) {
    TableOptions options;
    options.isProtected = true;
    options.password = "Sesame";
    CreateMemoTable("p", options);
    engine::GetEngineSession().AddPassword("Sesame");
    {
        engine::TDataFile table;
        table.SetFileName("p");
        table.SetExclusive(true);
        table.Open();
        AddRecordByHand(table, 1, "PLAINNAME", "");
    }
    const std::string bytes = ReadBytes("p.DAT");
    EXPECT_EQ(bytes.find("PLAINNAME"), std::string::npos);
    engine::TDataFile table;
    table.SetFileName("p");
    table.Open();
    engine::TReadGuard read(table);
    RecordPin record = Fetch(table, 1);
    EXPECT_EQ(StoredText(table, record->Image(), MemoNameField), "PLAINNAME");
    EXPECT_EQ(record->Link().Value, 1u);
    EXPECT_EQ(record->Id().Value, 1u);
}

}  // namespace
