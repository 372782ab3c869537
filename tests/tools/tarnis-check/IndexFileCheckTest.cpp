#include "tools/tarnis-check/IndexFileCheck.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <optional>
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

const std::string TableName = "crafted/t";
const std::string DataName = "crafted/t.DAT";
const std::string IndexName = "crafted/t.IDX";

constexpr std::size_t PageSize = 4096;

// ID (integer), NAME (string 10), MEMO (large object), QTY (integer); the primary index on ID, "ByName" and
// "ByQty" (unique); two active slots, whose keys make each index a root leaf.
std::string SoundTable() {
    fs::create_directory("crafted");
    std::vector<engine::TFieldDesc> fields = {
        FieldDef(1, "ID", engine::FieldTypeInteger), FieldDef(2, "NAME", engine::FieldTypeString, 10),
        FieldDef(3, "MEMO", engine::FieldTypeBlob), FieldDef(4, "QTY", engine::FieldTypeInteger)};
    std::vector<engine::TIndexDescriptor> indexes = {IndexDef("", {1}), IndexDef("ByName", {2}),
                                                     IndexDef("ByQty", {4}, true)};
    CreateTable(TableName, fields, indexes);
    AppendActiveSlots(DataName, 2);
    return ReadBytes(IndexName);
}

bool HasFinding(const std::vector<Finding>& findings, Severity level, const std::string& place,
                const std::string& text) {
    return tarnischecktest::HasFinding(findings, level, IndexName, place, text);
}

void SetName(std::string& idx, std::size_t slot, const std::string& name) {
    idx[IndexSlotAt(slot)] = static_cast<char>(name.size());
    idx.replace(IndexSlotAt(slot) + 1, name.size(), name);
}

constexpr Severity E = Severity::Error;
constexpr Severity W = Severity::Warning;

using IndexFileCheckTest = TableTest;

TEST_F(IndexFileCheckTest, TheSoundTableIsClean) {
    WriteBytes(IndexName, SoundTable());
    EXPECT_TRUE(IsCleanTable(TableName));
    // Bytes 4..7 and the header-changed flag are nobody's business.
    std::string idx = ReadBytes(IndexName);
    PutLE(idx, 4, 4, 0xDEADBEEF);
    idx[3979] = 7;
    WriteBytes(IndexName, idx);
    EXPECT_TRUE(IsCleanTable(TableName));
}

TEST_F(IndexFileCheckTest, EachDamageIsReportedWithFileAndPlace) {
    const std::string sound = SoundTable();
    // Four root leaves follow the header page.
    const std::uint32_t end = GetLE(sound, IndexEndOfFileAt, 4);
    ASSERT_EQ(end, 5 * PageSize);
    const std::string endText = std::to_string(end);
    const struct {
        const char* what;
        std::function<void(std::string&)> damage;
        Severity level;
        std::string place;
        std::string text;
    } damages[] = {
        {"short file", [](std::string& b) { b.resize(100); }, E, "file", "100 bytes, fewer than the 4096"},
        {"version", [](std::string& b) { b[8] = 4; }, E, "header", "the version is 4, not 3"},
        {"unaligned end of file", [](std::string& b) { PutLE(b, IndexEndOfFileAt, 4, 2 * PageSize + 4); }, E,
         "header", "end of file is 8196"},
        {"end of file beyond the limit",
         [](std::string& b) { PutLE(b, IndexEndOfFileAt, 4, 2000003072u + PageSize); }, E, "header",
         "end of file is 2000007168"},
        {"file size", [](std::string& b) { b += std::string(PageSize, '\0'); }, W, "header",
         "the file has " + std::to_string(end + PageSize) + " bytes, but the end of file is " + endText},
        {"file shorter than its end of file",
         [](std::string& b) { PutLE(b, IndexEndOfFileAt, 4, 100 * PageSize); }, E, "header",
         "the file has " + std::to_string(end) + " bytes, fewer than its end of file 409600"},
        {"pages in a slot beyond the count", [](std::string& b) { PutLE(b, IndexSlotAt(5) + DescRootAt, 4, PageSize); },
         E, "index 5", "the slot defines no index, but its root is 4096"},
        {"secondary count", [](std::string& b) { b[SecondaryCountAt] = 31; }, E, "header",
         "secondary index count is 31"},
        {"a slot beyond the count", [](std::string& b) { PutLE(b, IndexSlotAt(5) + DescKeyLengthAt, 2, 9); },
         W, "index 5", "beyond the 2 secondary indexes but has key length 9"},
        {"key length", [](std::string& b) { PutLE(b, IndexSlotAt(1) + DescKeyLengthAt, 2, 12); }, E,
         "index 1", "key length is 12, but its fields give 16"},
        {"key length 2000", [](std::string& b) { PutLE(b, IndexSlotAt(0) + DescKeyLengthAt, 2, 2000); }, E,
         "index 0", "key length is 2000, more than 1040"},
        {"17 fields", [](std::string& b) { b[IndexSlotAt(2) + DescFieldCountAt] = 17; }, E, "index 2",
         "key field count is 17"},
        {"field number", [](std::string& b) { PutLE(b, IndexSlotAt(2) + DescFieldNumbersAt, 2, 9); }, E,
         "index 2", "key field 1 is field number 9, outside the table's 4 fields"},
        {"large-object key field",
         [](std::string& b) { PutLE(b, IndexSlotAt(2) + DescFieldNumbersAt, 2, 3); }, E, "index 2",
         "key field 1 is field 3, a large object"},
        {"compression", [](std::string& b) { b[IndexSlotAt(1) + DescCompressionAt] = 4; }, E, "index 1",
         "compression is 4"},
        {"name room", [](std::string& b) { b[IndexSlotAt(1)] = 31; }, E, "index 1",
         "name's length byte is 31"},
        {"empty name", [](std::string& b) { b[IndexSlotAt(1)] = 0; }, E, "index 1", "the name is empty"},
        {"name without a letter first", [](std::string& b) { SetName(b, 1, "2yName"); }, E, "index 1",
         "does not start with a letter"},
        {"duplicate name", [](std::string& b) { SetName(b, 2, "BYNAME"); }, E, "index 2",
         "\"BYNAME\" is also the name of index 1"},
        {"unaligned root", [](std::string& b) { PutLE(b, IndexSlotAt(0) + DescRootAt, 4, PageSize + 1); }, E,
         "index 0", "the root is 4097"},
        {"root beyond the file", [](std::string& b) { PutLE(b, IndexSlotAt(2) + DescRootAt, 4, 0x10000000); },
         E, "index 2", "the root is 268435456"},
        {"free-list head", [&](std::string& b) { PutLE(b, IndexSlotAt(30) + DescFreeHeadAt, 4, end); }, E,
         "index 30",
         "the free-list head is " + endText + ", neither 0 nor a page offset below the end of file " +
             endText},
        {"flag without emptiness", [](std::string& b) { b[NoPrimaryAt] = 1; }, E, "header",
         "no-primary-index flag is 1, but index 0 has key length 5"},
        {"emptiness without the flag",
         [](std::string& b) { PutLE(b, IndexSlotAt(0) + DescKeyLengthAt, 2, 0); }, E, "header",
         "no-primary-index flag is 0, but index 0 has key length 0"},
        {"Sys Deleted name", [](std::string& b) { SetName(b, 31, "Sys Delete!"); }, E, "index 31",
         "not \"Sys Deleted\""},
        {"Sys Deleted key length", [](std::string& b) { PutLE(b, IndexSlotAt(31) + DescKeyLengthAt, 2, 6); },
         E, "index 31", "key length is 6, not 5"},
        {"Sys Deleted fields", [](std::string& b) { b[IndexSlotAt(31) + DescFieldCountAt] = 1; }, E,
         "index 31", "has 1 key fields, not none"},
        {"Sys Deleted compression", [](std::string& b) { b[IndexSlotAt(31) + DescCompressionAt] = 1; }, E,
         "index 31", "has compression 1, not 0"},
        {"record count", [](std::string& b) { PutLE(b, RecordCountAt, 4, 4); }, E, "header",
         "live record count is 4, but the record file holds 2 active slots"},
        // The journal puts back a change cut short: a count one off is damage like any other.
        {"record count one off", [](std::string& b) { PutLE(b, RecordCountAt, 4, 3); }, E, "header",
         "live record count is 3, but the record file holds 2 active slots"},
        {"unused bytes in the middle", [](std::string& b) { b[3900] = 1; }, W, "header",
         "bytes 3854 to 3973"},
        {"unused bytes at the end", [](std::string& b) { b[4095] = 1; }, W, "header", "bytes 3980 to 4095"},
    };
    for (const auto& d : damages) {
        std::string idx = sound;
        d.damage(idx);
        WriteBytes(IndexName, idx);
        const tarnischeck::TableCheck check = tarnischeck::CheckTable(TableName);
        ASSERT_FALSE(check.Unreadable()) << d.what;
        EXPECT_TRUE(HasFinding(check.Findings(), d.level, d.place, d.text))
            << d.what << Describe(check.Findings());
        if (d.level == W) {
            EXPECT_FALSE(check.HasErrors()) << d.what << Describe(check.Findings());
        }
    }
    fs::remove(IndexName);
    EXPECT_TRUE(HasFinding(tarnischeck::CheckTable(TableName).Findings(), E, "file", "the file is missing"));
}

TEST_F(IndexFileCheckTest, AProtectedTablesIndexFileIsReadUnscrambled) {
    fs::create_directory("crafted");
    std::vector<engine::TFieldDesc> fields = {FieldDef(1, "ID", engine::FieldTypeInteger),
                                              FieldDef(2, "NAME", engine::FieldTypeString, 10)};
    std::vector<engine::TIndexDescriptor> indexes = {IndexDef("", {}), IndexDef("ByName", {2})};
    TableOptions options;
    options.isProtected = true;
    options.password = "pw";
    options.allowNoPrimary = true;
    CreateTable(TableName, fields, indexes, options);
    tarnischeck::TableCheck check = tarnischeck::CheckTable(TableName);
    EXPECT_TRUE(check.Findings().empty()) << Describe(check.Findings());
    const std::optional<tarnischeck::IndexHeaderImage> image = tarnischeck::ReadIndexHeader(check);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->Header.NoPrimaryIndex, 1);
    EXPECT_EQ(image->Header.Indexes[1].Name, "ByName");
}

}  // namespace
