#include "tools/tarnis-check/RecordFileCheck.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "tests/engine/support/RawTableFile.h"
#include "tests/engine/support/TableFixture.h"
#include "tests/tools/tarnis-check/FindingMatch.h"
#include "tools/tarnis-check/TableCheck.h"

namespace {

namespace fs = std::filesystem;
using namespace enginetest;
using tarnischeck::Finding;
using tarnischeck::Severity;
using tarnischecktest::Describe;

// The sound table: SEQ (autoincrement), NAME (string 30, default "x"), QTY (integer, minimum "1"), MEMO
// (large object) and CALC (a calculated integer); six slots, of which 2 and 4 are deleted and chained 4 -> 2
// -> 0; its index file counts the four active slots, with the no-primary-index flag clear.
constexpr std::size_t HeaderSize = 127;
constexpr std::size_t DescSize = 768;
constexpr std::size_t RecordSize = 9 + 32 + 5 + 5;
constexpr std::size_t SlotStart = HeaderSize + 5 * DescSize;

constexpr std::size_t Desc(int field) {
    return HeaderSize + (field - 1) * DescSize;
}

constexpr std::size_t Slot(int slot) {
    return SlotStart + (slot - 1) * RecordSize;
}

const std::string TableName = "crafted/t";
const std::string DataName = "crafted/t.DAT";
const std::string IndexName = "crafted/t.IDX";

// The bytes of both files; an empty index file stands for none.
struct Files {
    std::string dat;
    std::string idx;
};

Files SoundTable() {
    fs::create_directory("crafted");
    std::vector<engine::TFieldDesc> fields = {
        AutoIncDef(1, "SEQ"), FieldDef(2, "NAME", engine::FieldTypeString, 30),
        FieldDef(3, "QTY", engine::FieldTypeInteger), FieldDef(4, "MEMO", engine::FieldTypeBlob),
        FieldDef(5, "CALC", engine::FieldTypeInteger)};
    fields[1].DefaultValue = "x";
    fields[2].MinValue = "1";
    fields[4].Calculated = 1;
    std::vector<engine::TIndexDescriptor> indexes = {IndexDef("", {1})};
    CreateTable(TableName, fields, indexes);
    AppendSlots(DataName, {SlotImage(RecordSize, 0, 1, 1), SlotImage(RecordSize, 1, 0, 2),
                           SlotImage(RecordSize, 0, 3, 3), SlotImage(RecordSize, 1, 2, 4),
                           SlotImage(RecordSize, 0, 5, 5), SlotImage(RecordSize, 0, 6, 6)});
    PatchFile(DataName, FreeHeadAt, 4, 4);
    return {ReadBytes(DataName), ReadBytes(IndexName)};
}

// The index file of a table without a primary index: the flag set and index 0 empty.
void WithoutPrimaryIndex(std::string& idx) {
    idx[NoPrimaryAt] = 1;
    PutLE(idx, IndexSlotAt(0) + DescKeyLengthAt, 2, 0);
    idx[IndexSlotAt(0) + DescFieldCountAt] = 0;
    PutLE(idx, IndexSlotAt(0) + DescFieldNumbersAt, 2, 0);
    // An undefined slot has no tree and no free list.
    PutLE(idx, IndexSlotAt(0) + DescRootAt, 4, 0);
    PutLE(idx, IndexSlotAt(0) + DescFreeHeadAt, 4, 0);
}

void WriteFiles(const Files& files) {
    WriteBytes(DataName, files.dat);
    if (files.idx.empty()) {
        fs::remove(IndexName);
    } else {
        WriteBytes(IndexName, files.idx);
    }
}

bool HasFinding(const std::vector<Finding>& findings, Severity level, const std::string& place,
                const std::string& text) {
    return tarnischecktest::HasFinding(findings, level, DataName, place, text);
}

void SetName(std::string& dat, int field, const std::string& name) {
    dat[Desc(field) + 2] = static_cast<char>(name.size());
    dat.replace(Desc(field) + 3, name.size(), name);
}

struct Damage {
    const char* what;
    std::function<void(Files&)> damage;
    Severity level;
    std::string place;
    std::string text;
};

constexpr Severity E = Severity::Error;
constexpr Severity W = Severity::Warning;

using RecordFileCheckTest = TableTest;

TEST_F(RecordFileCheckTest, TheSoundTableIsClean) {
    WriteFiles(SoundTable());
    EXPECT_TRUE(IsCleanTable(TableName));
    const tarnischeck::TableCheck check = tarnischeck::CheckTable(TableName);
    EXPECT_EQ(check.Record().SlotCount, 6u);
    EXPECT_EQ(check.Record().ActiveSlots, 4u);
    EXPECT_EQ(check.Record().Fields.size(), 5u);
}

TEST_F(RecordFileCheckTest, EachDamageIsReportedWithFileAndPlace) {
    const Damage damages[] = {
        // Header.
        {"short header", [](Files& f) { f.dat.resize(100); }, E, "header", "100 bytes, fewer than the 127"},
        {"description room", [](Files& f) { f.dat[35] = 51; }, E, "header",
         "description's length byte is 51"},
        {"password room", [](Files& f) { f.dat[87] = 16; }, E, "header", "password's length byte is 16"},
        {"version", [](Files& f) { f.dat[8] = 4; }, E, "header", "the version is 4, not 3"},
        {"field count", [](Files& f) { PutLE(f.dat, 23, 2, 1025); }, E, "header", "field count is 1025"},
        {"block size", [](Files& f) { PutLE(f.dat, 4, 4, 63); }, E, "header", "block size is 63"},
        {"protected without password", [](Files& f) { f.dat[86] = 1; }, E, "header",
         "protected but its password has 0 characters"},
        {"password without protection", [](Files& f) { f.dat[87] = 3; }, E, "header",
         "not protected but holds a password of 3"},
        {"locale", [](Files& f) { PutLE(f.dat, 103, 2, 9); }, E, "header", "language id 9 with sort id 0"},
        {"last record ID", [](Files& f) { PutLE(f.dat, LastIdAt, 4, 0x80000000u); }, E, "header",
         "last record ID is 2147483648"},
        {"image-changed mark", [](Files& f) { f.dat[113] = 2; }, W, "header", "image-changed mark is 2"},
        {"unused header byte", [](Files& f) { f.dat[120] = 1; }, W, "header", "bytes 114 to 126"},
        {"large-object count", [](Files& f) { PutLE(f.dat, 25, 2, 2); }, E, "header",
         "large-object field count is 2, but 1 fields"},
        {"record size", [](Files& f) { PutLE(f.dat, RecordSizeAt, 2, RecordSize + 1); }, E, "header",
         "record size is 52, but the stored fields take 51"},
        {"calculated area", [](Files& f) { PutLE(f.dat, 111, 2, 4); }, E, "header",
         "calculated-field area is 4, but the calculated fields take 5"},
        {"record image", [](Files& f) { PutLE(f.dat, 111, 2, 65535); }, E, "header",
         "come to 65586 bytes, more than 65535"},
        // Descriptors.
        {"cut inside the descriptors", [](Files& f) { f.dat.resize(Desc(3)); }, E, "descriptors",
         "fewer than the 3967 that the header and 5 descriptors take"},
        {"field number", [](Files& f) { PutLE(f.dat, Desc(2), 2, 9); }, E, "field 2",
         "field number is 9, not its position 2"},
        {"name room", [](Files& f) { f.dat[Desc(2) + 2] = 31; }, E, "field 2", "name's length byte is 31"},
        {"minimum room", [](Files& f) { f.dat[Desc(3) + 94] = 51; }, E, "field 3",
         "minimum's length byte is 51"},
        {"empty name", [](Files& f) { f.dat[Desc(2) + 2] = 0; }, E, "field 2", "the name is empty"},
        {"untrimmed name", [](Files& f) { SetName(f.dat, 2, "NAM "); }, E, "field 2",
         "has blanks at its ends"},
        {"name without a letter first", [](Files& f) { SetName(f.dat, 2, "1AME"); }, E, "field 2",
         "does not start with a letter"},
        {"duplicate name", [](Files& f) { SetName(f.dat, 3, "Seq"); }, E, "field 3",
         "\"Seq\" is also the name of field 1"},
        {"type 0", [](Files& f) { f.dat[Desc(3) + 84] = 0; }, E, "field 3", "the type is 0"},
        {"string size", [](Files& f) { f.dat[Desc(2) + 86] = static_cast<char>(251); }, E, "field 2",
         "size is 251, more than 250"},
        {"size on an integer", [](Files& f) { f.dat[Desc(3) + 86] = 4; }, E, "field 3",
         "size is 4 on type 6"},
        {"scale on an integer", [](Files& f) { f.dat[Desc(3) + 87] = 2; }, E, "field 3",
         "scale is 2 on type 6"},
        {"stored size", [](Files& f) { f.dat[Desc(3) + 88] = 5; }, E, "field 3",
         "stored size is 5, but type 6 of size 0 stores 4"},
        {"stored scale", [](Files& f) { f.dat[Desc(3) + 89] = 1; }, E, "field 3",
         "stored scale is 1, not the scale 0"},
        {"offset", [](Files& f) { PutLE(f.dat, Desc(3) + 90, 2, 42); }, E, "field 3", "offset is 42, not 41"},
        {"calculated offset", [](Files& f) { PutLE(f.dat, Desc(5) + 90, 2, 51); }, E, "field 5",
         "offset is 51, not 0"},
        {"invalid minimum", [](Files& f) { f.dat[Desc(3) + 95] = 'x'; }, E, "field 3",
         "minimum \"x\" is not a valid value of type 6"},
        {"compiled reference", [](Files& f) { f.dat[Desc(4) + 505] = 1; }, W, "field 4",
         "compiled-expression"},
        // Slot area.
        {"record size below a record header", [](Files& f) { PutLE(f.dat, RecordSizeAt, 2, 5); }, E,
         "slot area", "record size is 5, less than"},
        {"partial slot", [](Files& f) { f.dat += '\0'; }, E, "slot area",
         "307 bytes of slots are not a whole number of 51-byte slots"},
        {"slot count", [](Files& f) { PutLE(f.dat, NextSlotAt, 4, 8); }, E, "slot area",
         "holds 6 slots, but the next slot number is 8"},
        // Slots.
        {"status", [](Files& f) { f.dat[Slot(3)] = 7; }, E, "slot 3", "status is 7"},
        {"record ID 0", [](Files& f) { PutLE(f.dat, Slot(3) + 5, 4, 0); }, E, "slot 3",
         "record ID is 0, outside"},
        {"record ID 2^31", [](Files& f) { PutLE(f.dat, Slot(3) + 5, 4, 0x80000000u); }, E, "slot 3",
         "record ID is 2147483648, outside"},
        {"duplicate record ID", [](Files& f) { PutLE(f.dat, Slot(5) + 5, 4, 3); }, E, "slot 5",
         "record ID 3 is also the ID of active slot 3"},
        {"own number", [](Files& f) { PutLE(f.dat, Slot(3) + 1, 4, 9); }, W, "slot 3",
         "holds 9 where its own number belongs"},
        {"ID above the last", [](Files& f) { PutLE(f.dat, Slot(6) + 5, 4, 100); }, W, "slot 6",
         "record ID 100 is above the header's last record ID 6"},
        // Free-slot chain.
        {"head", [](Files& f) { PutLE(f.dat, FreeHeadAt, 4, 7); }, E, "free-slot chain",
         "head is 7, not 0 and not below the next slot number 7"},
        {"head beyond a short slot area", [](Files& f) { f.dat.resize(Slot(4)); }, E, "free-slot chain",
         "the head 4 lies beyond the last slot 3"},
        {"link beyond the slots", [](Files& f) { PutLE(f.dat, Slot(2) + 1, 4, 9); }, E, "slot 2",
         "free-chain link 9 lies beyond the last slot 6"},
        {"active slot on the chain", [](Files& f) { PutLE(f.dat, Slot(2) + 1, 4, 3); }, E, "slot 3",
         "on the free-slot chain but not deleted"},
        {"loop", [](Files& f) { PutLE(f.dat, Slot(2) + 1, 4, 4); }, E, "slot 4",
         "on the free-slot chain twice"},
        {"deleted slot off the chain", [](Files& f) { PutLE(f.dat, FreeHeadAt, 4, 2); }, W, "slot 4",
         "not on the free-slot chain"},
        {"link without a primary index", [](Files& f) { WithoutPrimaryIndex(f.idx); }, W, "slot 4",
         "links to 2, but a table without a primary index"},
        {"active head without a primary index",
         [](Files& f) {
             WithoutPrimaryIndex(f.idx);
             PutLE(f.dat, FreeHeadAt, 4, 3);
         },
         E, "slot 3", "on the free-slot chain but not deleted"},
    };
    const Files sound = SoundTable();
    for (const Damage& d : damages) {
        Files files = sound;
        d.damage(files);
        WriteFiles(files);
        // A slot changed in a way the engine may leave it gets its index entries as the engine would.
        if (d.level == W) ReindexChangedSlots(DataName, sound.dat);
        const tarnischeck::TableCheck check = tarnischeck::CheckTable(TableName);
        ASSERT_FALSE(check.Unreadable()) << d.what;
        EXPECT_TRUE(HasFinding(check.Findings(), d.level, d.place, d.text))
            << d.what << Describe(check.Findings());
        if (d.level == W) {
            EXPECT_FALSE(check.HasErrors()) << d.what << Describe(check.Findings());
        }
    }
}

TEST_F(RecordFileCheckTest, WithoutAnIndexFileOnlyTheSharedChainRulesApply) {
    Files files = SoundTable();
    files.idx.clear();
    // Slot 4 is off the chain; whether that matters depends on the primary index, which is unknown.
    PutLE(files.dat, FreeHeadAt, 4, 2);
    WriteFiles(files);
    const std::vector<Finding> findings = tarnischeck::CheckTable(TableName).Findings();
    // The missing index file is the only finding.
    ASSERT_EQ(findings.size(), 1u) << Describe(findings);
    EXPECT_EQ(findings[0].File, IndexName);
    PutLE(files.dat, FreeHeadAt, 4, 3);
    WriteFiles(files);
    EXPECT_TRUE(HasFinding(tarnischeck::CheckTable(TableName).Findings(), E, "slot 3", "not deleted"));
}

TEST_F(RecordFileCheckTest, AProtectedTableIsReadUnscrambled) {
    fs::create_directory("crafted");
    std::vector<engine::TFieldDesc> fields = {FieldDef(1, "ID", engine::FieldTypeInteger)};
    std::vector<engine::TIndexDescriptor> indexes = {IndexDef("", {1})};
    TableOptions options;
    options.isProtected = true;
    options.password = "pw";
    CreateTable(TableName, fields, indexes, options);
    const tarnischeck::TableCheck check = tarnischeck::CheckTable(TableName);
    EXPECT_TRUE(check.Findings().empty()) << Describe(check.Findings());
    ASSERT_EQ(check.Record().Fields.size(), 1u);
    EXPECT_EQ(check.Record().Fields[0].Name, "ID");
    EXPECT_EQ(check.Record().Header.Password, "pw");
}

TEST_F(RecordFileCheckTest, TooManyLargeObjectFieldsAreReported) {
    fs::create_directory("crafted");
    std::vector<engine::TFieldDesc> fields;
    for (int i = 1; i <= 33; ++i) {
        fields.push_back(
            FieldDef(static_cast<std::uint16_t>(i), "F" + std::to_string(i), engine::FieldTypeInteger));
    }
    std::vector<engine::TIndexDescriptor> indexes = {IndexDef("", {1})};
    CreateTable(TableName, fields, indexes);
    // An integer and a large-object reference both take 4 bytes: only the types change.
    std::string dat = ReadBytes(DataName);
    for (int i = 1; i <= 33; ++i) dat[Desc(i) + 84] = engine::FieldTypeBlob;
    PutLE(dat, 25, 2, 33);
    WriteBytes(DataName, dat);
    const tarnischeck::TableCheck check = tarnischeck::CheckTable(TableName);
    EXPECT_TRUE(HasFinding(check.Findings(), E, "header", "33 large-object fields, more than 32"))
        << Describe(check.Findings());
}

TEST_F(RecordFileCheckTest, AFindingManySlotsShareIsListedTwentyTimesThenCounted) {
    Files files = SoundTable();
    for (int i = 0; i < 30; ++i) files.dat += SlotImage(RecordSize, 9, 7 + i, 7 + i);
    PutLE(files.dat, NextSlotAt, 4, 37);
    WriteFiles(files);
    const tarnischeck::TableCheck check = tarnischeck::CheckTable(TableName);
    const auto statusFindings =
        std::count_if(check.Findings().begin(), check.Findings().end(),
                      [](const Finding& f) { return f.Text.find("status is 9") != std::string::npos; });
    EXPECT_EQ(statusFindings, 20);
    EXPECT_TRUE(HasFinding(check.Findings(), E, "slots", "10 further slots with the finding of slot 26"))
        << Describe(check.Findings());
}

TEST_F(RecordFileCheckTest, SlotsAreReadInChunksAcrossTheirBoundaries) {
    // 2000 slots of 51 bytes span two chunks; one damaged slot on each side of the boundary.
    WriteFiles(SoundTable());
    std::vector<std::string> slots;
    for (std::uint32_t n = 7; n <= 2000; ++n) slots.push_back(SlotImage(RecordSize, 0, n, n));
    AppendSlots(DataName, slots);
    std::string dat = ReadBytes(DataName);
    const int chunkSlots = 65536 / RecordSize;
    dat[Slot(chunkSlots)] = 5;
    dat[Slot(chunkSlots + 1)] = 6;
    WriteBytes(DataName, dat);
    const tarnischeck::TableCheck check = tarnischeck::CheckTable(TableName);
    EXPECT_EQ(check.Record().SlotCount, 2000u);
    EXPECT_TRUE(HasFinding(check.Findings(), E, "slot " + std::to_string(chunkSlots), "status is 5"));
    EXPECT_TRUE(HasFinding(check.Findings(), E, "slot " + std::to_string(chunkSlots + 1), "status is 6"));
    // The index file still counts the two slots as live, which is its own finding.
    EXPECT_EQ(std::count_if(check.Findings().begin(), check.Findings().end(),
                            [](const Finding& f) { return f.File == DataName; }),
              2)
        << Describe(check.Findings());
}

}  // namespace
