#include "tools/tarnis-check/BlobFileCheck.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "engine/base/EngineState.h"
#include "engine/base/FileSession.h"
#include "engine/blob/BlobBuffer.h"
#include "engine/table/DataFile.h"
#include "tests/engine/support/RawTableFile.h"
#include "tests/engine/support/TableFixture.h"
#include "tests/tools/tarnis-check/FindingMatch.h"
#include "tools/tarnis-check/TableCheck.h"

namespace {

namespace fs = std::filesystem;
using namespace enginetest;
using tarnischeck::Finding;
using tarnischeck::Severity;

// The sound table: ID (integer, primary index), MEMO and NOTE (large objects), blocks of 64 bytes (46 of
// payload), four active slots. Slot 1's MEMO holds 100 bytes (3 blocks), slot 2's 46 (1 block), slot 3's NOTE
// 120 (3 blocks), slot 4's MEMO 10 (1 block, shrunk from 2); three blocks are free, left by a value of slot
// 2's NOTE that was freed.
constexpr std::uint32_t Payload = 46;
constexpr std::size_t SlotStart = 127 + 3 * 768;
constexpr std::size_t RecordSize = 9 + 5 + 5 + 5;
constexpr std::size_t MemoAt = 14;
constexpr std::size_t NoteAt = 19;

const std::string TableName = "crafted/t";
const std::string DataName = "crafted/t.DAT";
const std::string BlobName = "crafted/t.BLB";

constexpr std::size_t FieldValue(int slot, std::size_t field) {
    return SlotStart + (slot - 1) * RecordSize + field + 1;
}

struct Files {
    std::string dat;
    // Empty: no large-object file.
    std::string blb;
    std::uint32_t first1 = 0;
    std::uint32_t first2 = 0;
    std::uint32_t first3 = 0;
    std::uint32_t first4 = 0;
};

std::uint32_t Save(engine::TDataFile& table, std::uint32_t slot, std::uint16_t field, std::int32_t size,
                   std::uint32_t first = 0) {
    engine::TBlobBuffer value(table.BlobFile(), engine::SlotNumber(slot), field, engine::BlockOffset(first),
                              engine::BlobOpenReadWrite);
    value.SetSize(size);
    std::fill(value.GetData(), value.GetData() + size, static_cast<std::uint8_t>(slot));
    value.SaveChain();
    return value.FirstBlock().Value;
}

void PointAt(std::string& dat, int slot, std::size_t field, std::uint32_t value) {
    dat[FieldValue(slot, field) - 1] = 1;
    PutLE(dat, FieldValue(slot, field), 4, value);
}

Files SoundTable() {
    fs::create_directory("crafted");
    std::vector<engine::TFieldDesc> fields = {FieldDef(1, "ID", engine::FieldTypeInteger),
                                              FieldDef(2, "MEMO", engine::FieldTypeBlob),
                                              FieldDef(3, "NOTE", engine::FieldTypeBlob)};
    std::vector<engine::TIndexDescriptor> indexes = {IndexDef("", {1})};
    TableOptions options;
    options.blockSize = 64;
    CreateTable(TableName, fields, indexes, options);
    AppendActiveSlots(DataName, 4);
    Files files;
    {
        engine::TDataFile table;
        table.SetFileName(TableName);
        table.SetExclusive(true);
        table.Open();
        files.first1 = Save(table, 1, 2, 100);
        files.first2 = Save(table, 2, 2, 46);
        files.first3 = Save(table, 3, 3, 120);
        files.first4 = Save(table, 4, 2, 10, Save(table, 4, 2, 50));
        engine::BlockOffset dropped(Save(table, 2, 3, 120));
        table.BlobFile().FreeChainAt(dropped, engine::SlotNumber(2));
    }
    files.dat = ReadBytes(DataName);
    PointAt(files.dat, 1, MemoAt, files.first1);
    PointAt(files.dat, 2, MemoAt, files.first2);
    PointAt(files.dat, 3, NoteAt, files.first3);
    PointAt(files.dat, 4, MemoAt, files.first4);
    files.blb = ReadBytes(BlobName);
    return files;
}

void WriteFiles(const Files& files) {
    WriteBytes(DataName, files.dat);
    if (files.blb.empty()) {
        fs::remove(BlobName);
    } else {
        WriteBytes(BlobName, files.blb);
    }
}

// The blocks of a chain, by its next links.
std::vector<std::uint32_t> Chain(const std::string& blb, std::uint32_t first) {
    std::vector<std::uint32_t> chain;
    for (std::uint32_t at = first; at != 0 && chain.size() < 10; at = GetLE(blb, at + 4, 4))
        chain.push_back(at);
    return chain;
}

using tarnischecktest::Describe;

bool HasFinding(const std::vector<Finding>& findings, Severity level, const std::string& place,
                const std::string& text) {
    return tarnischecktest::HasFinding(findings, level, BlobName, place, text);
}

std::string N(std::uint32_t value) {
    return std::to_string(value);
}

constexpr Severity E = Severity::Error;
constexpr Severity W = Severity::Warning;

using BlobFileCheckTest = TableTest;

TEST_F(BlobFileCheckTest, TheSoundTableIsClean) {
    const Files files = SoundTable();
    WriteFiles(files);
    EXPECT_TRUE(IsCleanTable(TableName));
    const tarnischeck::TableCheck check = tarnischeck::CheckTable(TableName);
    ASSERT_EQ(check.Record().BlobValues.size(), 4u);
    EXPECT_EQ(check.Record().BlobValues[2].Field, 3u);
    EXPECT_EQ(Chain(files.blb, files.first1).size(), 3u);
    EXPECT_EQ(Chain(files.blb, GetLE(files.blb, 9, 4)).size(), 3u);
}

TEST_F(BlobFileCheckTest, EachDamageIsReportedByItsRule) {
    const Files sound = SoundTable();
    const std::vector<std::uint32_t> chain1 = Chain(sound.blb, sound.first1);
    const std::vector<std::uint32_t> chain3 = Chain(sound.blb, sound.first3);
    const std::vector<std::uint32_t> freeList = Chain(sound.blb, GetLE(sound.blb, 9, 4));
    const std::uint32_t end = GetLE(sound.blb, 13, 4);
    ASSERT_EQ(chain1.size(), 3u);
    ASSERT_EQ(chain3.size(), 3u);
    ASSERT_EQ(freeList.size(), 3u);
    struct Damage {
        std::string what;
        std::function<void(Files&)> damage;
        Severity level;
        std::string place;
        std::string text;
    };
    const Damage damages[] = {
        // The rules the engine's saves and frees keep.
        {"block in two chains", [&](Files& f) { PutLE(f.dat, FieldValue(2, MemoAt), 4, sound.first1); }, E,
         "slot 2 field 2", "block " + N(sound.first1) + " is also in the chain of slot 1 field 2"},
        {"chain shorter than its length", [&](Files& f) { PutLE(f.blb, sound.first1 + 14, 4, 140); }, E,
         "slot 1 field 2", "the chain ends after 3 blocks, but the length 140 takes 4"},
        {"chain longer than its length", [&](Files& f) { PutLE(f.blb, sound.first1 + 14, 4, 92); }, E,
         "slot 1 field 2", "the chain goes on past the 2 blocks that the length 92 takes"},
        {"free block inside a chain", [&](Files& f) { PutLE(f.blb, chain3[1] + 4, 4, freeList[0]); }, E,
         "slot 3 field 3", "block " + N(freeList[0]) + " is also on the free list"},
        {"circular free list", [&](Files& f) { PutLE(f.blb, freeList[2] + 4, 4, freeList[0]); }, E,
         "free list", "block " + N(freeList[0]) + " is on the free list twice"},
        {"negative field value", [&](Files& f) { PutLE(f.dat, FieldValue(4, MemoAt), 4, 0xFFFFFFFD); }, E,
         "slot 4 field 2", "the field holds 3, the handle of a value"},
        {"block of another slot", [&](Files& f) { PutLE(f.blb, chain1[1] + 10, 4, 2); }, E, "slot 1 field 2",
         "block " + N(chain1[1]) + " belongs to slot 2"},
        {"previous link", [&](Files& f) { PutLE(f.blb, chain1[2], 4, 0); }, E, "slot 1 field 2",
         "block " + N(chain1[2]) + " links back to 0, not to " + N(chain1[1])},
        {"first block with a previous link", [&](Files& f) { PutLE(f.blb, sound.first2, 4, chain1[0]); }, E,
         "slot 2 field 2", "the first block " + N(sound.first2) + " links back to " + N(chain1[0])},
        {"length in a later block", [&](Files& f) { PutLE(f.blb, chain3[1] + 14, 4, 5); }, E,
         "slot 3 field 3", "block " + N(chain3[1]) + " records a length of 5"},
        {"length 0", [&](Files& f) { PutLE(f.blb, sound.first2 + 14, 4, 0); }, E, "slot 2 field 2",
         "records a length of 0"},
        {"block not full", [&](Files& f) { PutLE(f.blb, sound.first1 + 8, 2, 40); }, E, "slot 1 field 2",
         "block " + N(sound.first1) + " holds 40 bytes, not a full 46"},
        {"last block", [&](Files& f) { PutLE(f.blb, chain1[2] + 8, 2, 5); }, E, "slot 1 field 2",
         "the last block " + N(chain1[2]) + " holds 5 bytes, but the length 100 leaves 8"},
        {"bytes used beyond the payload", [&](Files& f) { PutLE(f.blb, chain1[2] + 8, 2, 47); }, E,
         "slot 1 field 2", "claims 47 bytes used, more than its payload of 46"},
        {"first block off the grid", [&](Files& f) { PutLE(f.dat, FieldValue(2, MemoAt), 4, 600); }, E,
         "slot 2 field 2", "the first block 600 names no block"},
        {"link off the grid", [&](Files& f) { PutLE(f.blb, sound.first1 + 4, 4, 700); }, E, "slot 1 field 2",
         "block " + N(sound.first1) + " links to 700, which names no block"},
        {"link to the end of file", [&](Files& f) { PutLE(f.blb, sound.first1 + 4, 4, end); }, E,
         "slot 1 field 2", "links to " + N(end) + ", which names no block"},
        {"free head", [&](Files& f) { PutLE(f.blb, 9, 4, 70); }, E, "free list",
         "the head 70 names no block"},
        {"free link", [&](Files& f) { PutLE(f.blb, freeList[0] + 4, 4, end + 64); }, E, "free list",
         "block " + N(freeList[0]) + " links to " + N(end + 64)},
        // The header and the file.
        {"version", [](Files& f) { f.blb[8] = 2; }, E, "header", "the version is 2, not 3"},
        {"end of file off the grid", [&](Files& f) { PutLE(f.blb, 13, 4, end + 1); }, E, "header",
         "the end of file " + N(end + 1) + " is not on the grid of 64-byte blocks"},
        {"short header", [](Files& f) { f.blb.resize(100); }, E, "header", "100 bytes, fewer than the 512"},
        // No block table is sized from an end of file the file does not hold.
        {"end of file beyond the file", [&](Files& f) { PutLE(f.blb, 13, 4, 2000000000 - 1536); }, E, "header",
         "the file has " + N(end) + " bytes, fewer than its end of file 1999998464"},
        {"missing file", [](Files& f) { f.blb.clear(); }, E, "file", "its large-object file is missing"},
        // What an engine that stopped part-way may leave.
        {"blocks beyond the end of file", [](Files& f) { f.blb += std::string(64, '\0'); }, W, "file",
         "but its end of file is " + N(end)},
        {"lost block",
         [&](Files& f) {
             f.blb += std::string(64, '\0');
             PutLE(f.blb, 13, 4, end + 64);
         },
         W, "blocks", "1 blocks are in no chain and not on the free list, the first at " + N(end)},
        {"unused header byte", [](Files& f) { f.blb[200] = 1; }, W, "header", "bytes 18 to 511"},
    };
    for (const Damage& d : damages) {
        Files files = sound;
        d.damage(files);
        WriteFiles(files);
        const tarnischeck::TableCheck check = tarnischeck::CheckTable(TableName);
        ASSERT_FALSE(check.Unreadable()) << d.what;
        EXPECT_TRUE(HasFinding(check.Findings(), d.level, d.place, d.text))
            << d.what << Describe(check.Findings());
        if (d.level == W) {
            EXPECT_FALSE(check.HasErrors()) << d.what << Describe(check.Findings());
        }
    }
    WriteFiles(sound);
}

TEST_F(BlobFileCheckTest, ValuesOfDeletedSlotsAndTablesWithoutLargeObjectsAreLeftAlone) {
    Files files = SoundTable();
    const std::string before = files.dat;
    // Slot 4 deleted: its field is stale and its block lost room, not damage.
    files.dat[SlotStart + 3 * RecordSize] = 1;
    WriteFiles(files);
    ReindexChangedSlots(DataName, before);
    const tarnischeck::TableCheck check = tarnischeck::CheckTable(TableName);
    EXPECT_FALSE(check.HasErrors()) << Describe(check.Findings());
    EXPECT_TRUE(HasFinding(check.Findings(), W, "blocks", "1 blocks are in no chain"));
    WriteFiles(SoundTable());

    CreateSimpleTable("plain");
    WriteBytes("plain.BLB", "not a large-object file");
    EXPECT_TRUE(IsCleanTable("plain"));
    fs::remove("plain.BLB");
}

TEST_F(BlobFileCheckTest, AProtectedTablesBlocksAreReadUnscrambled) {
    std::vector<engine::TFieldDesc> fields = {FieldDef(1, "ID", engine::FieldTypeInteger),
                                              FieldDef(2, "MEMO", engine::FieldTypeBlob)};
    std::vector<engine::TIndexDescriptor> indexes = {IndexDef("", {1})};
    TableOptions options;
    options.isProtected = true;
    options.password = "secret";
    options.blockSize = 64;
    CreateTable("p", fields, indexes, options);
    // A protected table opens once the session holds its password.
    engine::GetEngineSession().AddPassword("secret");
    engine::TDataFile table;
    table.SetFileName("p");
    table.SetExclusive(true);
    table.Open();
    // A freed value leaves its blocks on the free list, which the check follows through scrambled headers.
    engine::BlockOffset first(Save(table, 1, 2, 200));
    table.BlobFile().FreeChainAt(first, engine::SlotNumber(1));
    table.Close();
    EXPECT_TRUE(IsCleanTable("p"));
}

}  // namespace
